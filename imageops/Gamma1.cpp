#include "imageops/Gamma1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/format.h"
#include "platform/services.h"
#include "resources/messages.h"

namespace nuvak {

TGMM::TGMM(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TGMM"));
    setWindowTitle(QStringLiteral("GMM"));
    setFixedSize(200, 90);

    Label1 = new QLabel(QStringLiteral("γ="), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 18, 30, 20);

    Edit1 = new QLineEdit(QStringLiteral("1.0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(50, 16, 80, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(60, 52, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button1Click(); }); });
}

void TGMM::Button1Click() {
    const double gamma = ParseReal(Edit1->text().toStdString());
    if (gamma > 0) {
        accept();
        return;
    }
    platform::ui().message(this, QString::fromUtf8(msg::kGammaRange));
}

double TGMM::ReadGamma() {
    Setting.gamma = ParseReal(Edit1->text().toStdString());
    return Setting.gamma;
}

}  // namespace nuvak
