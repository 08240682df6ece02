#include "workspace/About.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

namespace nuvak {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("バージョン情報"));

    auto* name = new QLabel(QStringLiteral("Nuvak"), this);
    name->setObjectName(QStringLiteral("ProductName"));
    QFont big = name->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    name->setFont(big);

    auto* version = new QLabel(QStringLiteral("Version 3.01b"), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* comments = new QLabel(
        QString::fromUtf8("天体画像の表示と、赤道儀の追尾精度を計測するためのプログラムです。"), this);
    comments->setObjectName(QStringLiteral("Comments"));
    comments->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(QStringLiteral("OKButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(comments);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(320, 180);
}

}  // namespace nuvak
