#include "stacking/Mozaiccomp.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace nuvak {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(x, y, w, 20);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x, y, 48, 22);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, y, 75, 25);
    return button;
}

}  // namespace

TMscomp::TMscomp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TMscomp"));
    setWindowTitle(QStringLiteral("Mscomp"));
    setFixedSize(260, 250);

    Label1 = makeLabel(this, "Label1", QStringLiteral("合成する画像"), 8, 8, 120);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 30, 244, 120);

    Label2 = makeLabel(this, "Label2", QStringLiteral("行"), 8, 162, 20);
    Edit1 = makeEdit(this, "Edit1", QStringLiteral("1"), 30, 160);
    Label3 = makeLabel(this, "Label3", QStringLiteral("by"), 86, 162, 20);
    Label4 = makeLabel(this, "Label4", QStringLiteral("列"), 112, 162, 20);
    Edit2 = makeEdit(this, "Edit2", QStringLiteral("1"), 134, 160);

    Button1 = makeButton(this, "Button1", QStringLiteral("OK"), 90, 208);
    Button2 = makeButton(this, "Button2", QStringLiteral("ｷｬﾝｾﾙ"), 176, 208);
    connect(Button1, &QPushButton::clicked, this, &TMscomp::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMscomp::Button2Click);
}

void TMscomp::Button1Click() { accept(); }

void TMscomp::Button2Click() {
    Edit2->setText(QStringLiteral("0"));
    reject();
}

}  // namespace nuvak
