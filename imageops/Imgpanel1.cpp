#include "imageops/Imgpanel1.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>

namespace nuvak {

namespace {

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& title, int y, int h) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QLatin1String(name));
    group->setGeometry(8, y, 264, h);
    return group;
}

QScrollBar* makeScrollBar(QWidget* parent, const char* name, int y) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QLatin1String(name));
    bar->setGeometry(12, y, 240, 18);
    return bar;
}

}  // namespace

TImgPanel::TImgPanel(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TImgPanel"));
    setWindowTitle(QStringLiteral("画像調整パネル"));
    setFixedSize(280, 330);

    GroupBox1 = makeGroup(this, "GroupBox1", QStringLiteral("トーンカーブ"), 8, 80);
    GroupBox2 = makeGroup(this, "GroupBox2", QStringLiteral("カラーバランス"), 96, 100);
    ScrollBar1 = makeScrollBar(GroupBox2, "ScrollBar1", 24);
    ScrollBar2 = makeScrollBar(GroupBox2, "ScrollBar2", 48);
    ScrollBar3 = makeScrollBar(GroupBox2, "ScrollBar3", 72);
    GroupBox3 = makeGroup(this, "GroupBox3", QStringLiteral("背景処理"), 204, 80);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(104, 294, 75, 25);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(188, 294, 84, 25);
}

}  // namespace nuvak
