#include "rgbcomp/Rgbcomp1.h"

namespace nuvak {

TRGBComp::TRGBComp(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TRGBComp"));
    setWindowTitle(QStringLiteral("RGB"));
    resize(720, 520);
}

}  // namespace nuvak
