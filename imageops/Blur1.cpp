#include "imageops/Blur1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/format.h"
#include "platform/services.h"
#include "resources/messages.h"

namespace nuvak {

TBLUR::TBLUR(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TBLUR"));
    setWindowTitle(QStringLiteral("BLUR"));
    setFixedSize(200, 90);

    Label1 = new QLabel(QStringLiteral("ボケ量"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 18, 50, 20);

    Edit1 = new QLineEdit(QStringLiteral("1.0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(70, 16, 80, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(62, 52, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button1Click(); }); });
}

void TBLUR::Button1Click() {
    const double amount = ParseReal(Edit1->text().toStdString());
    if (amount > 0 && amount <= 10) {
        if (blurAmount) *blurAmount = amount;
        accept();
        return;
    }
    platform::ui().message(this, QString::fromUtf8(msg::kBlurRange));
}

}  // namespace nuvak
