#include "imageops/Gmcpanel1.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/format.h"
#include "platform/controls.h"
#include "platform/services.h"

namespace nuvak {

TGMCPanel::TGMCPanel(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TGMCPanel"));
    setWindowTitle(QStringLiteral("GMCPanel"));
    setFixedSize(240, 250);

    GroupBox1 = new QGroupBox(QStringLiteral("GMC"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 224, 84);
    platform::Place(new QLabel(QStringLiteral("流れ量"), GroupBox1), "Label1", 12, 24, 60, 20);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("1"), GroupBox1), "Edit2", 80, 22, 60, 22);
    platform::Place(new QLabel(QStringLiteral("ピクセル"), GroupBox1), "Label2", 148, 24, 64, 20);
    platform::Place(new QLabel(QStringLiteral("向き"), GroupBox1), "Label3", 12, 54, 60, 20);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("0"), GroupBox1), "Edit1", 80, 52, 60, 22);
    platform::Place(new QLabel(QStringLiteral("度"), GroupBox1), "Label4", 148, 54, 64, 20);

    GroupBox2 = new QGroupBox(QStringLiteral("Blur"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 100, 224, 84);
    platform::Place(new QLabel(QStringLiteral("ぼけ量"), GroupBox2), "Label5", 12, 24, 60, 20);
    Edit3 = platform::Place(new QLineEdit(QStringLiteral("0.2"), GroupBox2), "Edit3", 80, 22, 60, 22);
    platform::Place(new QLabel(QStringLiteral("ピクセル"), GroupBox2), "Label6", 148, 24, 64, 20);
    platform::Place(new QLabel(QStringLiteral("閾値"), GroupBox2), "Label7", 12, 54, 60, 20);
    Edit4 = platform::Place(new QLineEdit(QStringLiteral("0"), GroupBox2), "Edit4", 80, 52, 60, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(82, 208, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button1Click(); }); });
}

void TGMCPanel::Button1Click() {
    // Each value is kept as soon as it is read, as far as the texts parse.
    settings.direction = ParseInt(Edit1->text().toStdString());
    settings.flow = ParseInt(Edit2->text().toStdString());
    settings.blur = ParseReal(Edit3->text().toStdString());
    if (!(settings.blur >= 0.2)) {
        settings.blur = 0.2;
        Edit3->setText(QStringLiteral("0.2"));
    }
    settings.threshold = ParseInt(Edit4->text().toStdString());
    settings.confirmed = true;
    accept();
}

}  // namespace nuvak
