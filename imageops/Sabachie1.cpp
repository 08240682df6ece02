#include "imageops/Sabachie1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace nuvak {

TSabachie::TSabachie(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TSabachie"));
    setWindowTitle(QStringLiteral("Sabachie"));
    setFixedSize(220, 90);

    Label1 = new QLabel(QStringLiteral("ステップ幅"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 18, 70, 20);

    Edit1 = new QLineEdit(QStringLiteral("255"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(90, 16, 80, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(72, 52, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TSabachie::Button1Click);
}

void TSabachie::Button1Click() { accept(); }

}  // namespace nuvak
