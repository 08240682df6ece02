#include "imageops/Comacorrect1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/controls.h"

namespace nuvak {

TComaCorrect::TComaCorrect(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TComaCorrect"));
    setWindowTitle(QStringLiteral("ComaCorrect"));
    setFixedSize(280, 130);

    Label1 = platform::Place(new QLabel(QStringLiteral("光軸座標"), this), "Label1", 16, 18, 64, 20);
    Label2 = platform::Place(new QLabel(QStringLiteral("X = "), this), "Label2", 84, 18, 28, 20);
    Edit1 = platform::Place(new QLineEdit(this), "Edit1", 112, 16, 56, 22);
    Label3 = platform::Place(new QLabel(QStringLiteral("Y = "), this), "Label3", 180, 18, 28, 20);
    Edit2 = platform::Place(new QLineEdit(this), "Edit2", 208, 16, 56, 22);
    Label4 = platform::Place(new QLabel(QStringLiteral("コマ量"), this), "Label4", 16, 52, 64, 20);
    Edit3 = platform::Place(new QLineEdit(this), "Edit3", 112, 50, 56, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(102, 92, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TComaCorrect::Button1Click);
}

void TComaCorrect::Button1Click() { accept(); }

}  // namespace nuvak
