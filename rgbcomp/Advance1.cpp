#include "rgbcomp/Advance1.h"

namespace nuvak {

TAdvance::TAdvance(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TAdvance"));
    setWindowTitle(QStringLiteral("Advance"));
    resize(420, 400);
}

}  // namespace nuvak
