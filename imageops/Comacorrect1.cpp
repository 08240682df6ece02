#include "imageops/Comacorrect1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace nuvak {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(x, y, w, 20);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int x, int y, int w) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x, y, w, 22);
    return edit;
}

}  // namespace

TComaCorrect::TComaCorrect(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TComaCorrect"));
    setWindowTitle(QStringLiteral("ComaCorrect"));
    setFixedSize(280, 130);

    Label1 = makeLabel(this, "Label1", QStringLiteral("光軸座標"), 16, 18, 64);
    Label2 = makeLabel(this, "Label2", QStringLiteral("X = "), 84, 18, 28);
    Edit1 = makeEdit(this, "Edit1", 112, 16, 56);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Y = "), 180, 18, 28);
    Edit2 = makeEdit(this, "Edit2", 208, 16, 56);
    Label4 = makeLabel(this, "Label4", QStringLiteral("コマ量"), 16, 52, 64);
    Edit3 = makeEdit(this, "Edit3", 112, 50, 56);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(102, 92, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TComaCorrect::Button1Click);
}

void TComaCorrect::Button1Click() { accept(); }

}  // namespace nuvak
