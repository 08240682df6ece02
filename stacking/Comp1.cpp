#include "stacking/Comp1.h"

namespace nuvak {

TComposite::TComposite(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TComposite"));
    setWindowTitle(QStringLiteral("コンポジット"));
    resize(520, 400);
}

}  // namespace nuvak
