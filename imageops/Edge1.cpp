#include "imageops/Edge1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/format.h"
#include "platform/services.h"
#include "resources/messages.h"

namespace nuvak {

TEDG::TEDG(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TEDG"));
    setWindowTitle(QStringLiteral("EDG"));
    setFixedSize(220, 90);

    Label1 = new QLabel(QStringLiteral("強さ(1-5)"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 18, 70, 20);

    Edit1 = new QLineEdit(QStringLiteral("1.0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(90, 16, 80, 22);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(72, 52, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button1Click(); }); });
}

void TEDG::Button1Click() {
    const double strength = ParseReal(Edit1->text().toStdString());
    if (strength >= 1.0 && strength <= 5.0) {
        accept();
        return;
    }
    platform::ui().message(this, QString::fromUtf8(msg::kEdgeRange));
}

}  // namespace nuvak
