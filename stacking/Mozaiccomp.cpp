#include "stacking/Mozaiccomp.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/controls.h"

namespace nuvak {

TMscomp::TMscomp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TMscomp"));
    setWindowTitle(QStringLiteral("Mscomp"));
    setFixedSize(260, 250);

    Label1 = platform::Place(new QLabel(QStringLiteral("合成する画像"), this), "Label1", 8, 8, 120, 20);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 30, 244, 120);

    Label2 = platform::Place(new QLabel(QStringLiteral("行"), this), "Label2", 8, 162, 20, 20);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("1"), this), "Edit1", 30, 160, 48, 22);
    Label3 = platform::Place(new QLabel(QStringLiteral("by"), this), "Label3", 86, 162, 20, 20);
    Label4 = platform::Place(new QLabel(QStringLiteral("列"), this), "Label4", 112, 162, 20, 20);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("1"), this), "Edit2", 134, 160, 48, 22);

    Button1 = platform::Place(new QPushButton(QStringLiteral("OK"), this), "Button1", 90, 208, 75, 25);
    Button2 = platform::Place(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this), "Button2", 176, 208, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TMscomp::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMscomp::Button2Click);
}

void TMscomp::Prepare(const QStringList& captions) {
    ListBox1->clear();
    ListBox1->addItems(captions);
    Edit1->setText(QStringLiteral("1"));
    Edit2->setText(QString::number(captions.size()));
    cancelled = false;
}

void TMscomp::Button1Click() { accept(); }

void TMscomp::Button2Click() {
    Edit2->setText(QStringLiteral("0"));
    cancelled = true;
    reject();
}

}  // namespace nuvak
