#include "imageops/Tilt1.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>

#include "platform/controls.h"

namespace nuvak {

TTilt::TTilt(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TTilt"));
    setWindowTitle(QStringLiteral("Tilt"));
    setFixedSize(360, 300);

    Image1 = new platform::Picture(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 200, 200);

    GroupBox1 = new QGroupBox(QStringLiteral("X方向"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(216, 8, 136, 56);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, GroupBox1);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setGeometry(8, 24, 120, 18);

    GroupBox2 = new QGroupBox(QStringLiteral("Y方向"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(216, 72, 136, 56);
    ScrollBar2 = new QScrollBar(Qt::Horizontal, GroupBox2);
    ScrollBar2->setObjectName(QStringLiteral("ScrollBar2"));
    ScrollBar2->setGeometry(8, 24, 120, 18);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(184, 260, 75, 25);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(268, 260, 84, 25);
}

}  // namespace nuvak
