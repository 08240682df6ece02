#include "imageops/Gmcpanel1.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace nuvak {

namespace {

void addLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(x, y, w, 20);
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x, y, 60, 22);
    return edit;
}

}  // namespace

TGMCPanel::TGMCPanel(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TGMCPanel"));
    setWindowTitle(QStringLiteral("GMCPanel"));
    setFixedSize(240, 250);

    GroupBox1 = new QGroupBox(QStringLiteral("GMC"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 224, 84);
    addLabel(GroupBox1, "Label1", QStringLiteral("流れ量"), 12, 24, 60);
    Edit2 = makeEdit(GroupBox1, "Edit2", QStringLiteral("1"), 80, 22);
    addLabel(GroupBox1, "Label2", QStringLiteral("ピクセル"), 148, 24, 64);
    addLabel(GroupBox1, "Label3", QStringLiteral("向き"), 12, 54, 60);
    Edit1 = makeEdit(GroupBox1, "Edit1", QStringLiteral("0"), 80, 52);
    addLabel(GroupBox1, "Label4", QStringLiteral("度"), 148, 54, 64);

    GroupBox2 = new QGroupBox(QStringLiteral("Blur"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 100, 224, 84);
    addLabel(GroupBox2, "Label5", QStringLiteral("ぼけ量"), 12, 24, 60);
    Edit3 = makeEdit(GroupBox2, "Edit3", QStringLiteral("0.2"), 80, 22);
    addLabel(GroupBox2, "Label6", QStringLiteral("ピクセル"), 148, 24, 64);
    addLabel(GroupBox2, "Label7", QStringLiteral("閾値"), 12, 54, 60);
    Edit4 = makeEdit(GroupBox2, "Edit4", QStringLiteral("0"), 80, 52);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(82, 208, 75, 25);
}

}  // namespace nuvak
