#include "stacking/SpDraw.h"

namespace nuvak {

TSpDraw::TSpDraw(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TSpDraw"));
    setWindowTitle(QStringLiteral("Spectrum"));
    // Room for the 513 x 393 plot and the row of bound fields under it.
    resize(530, 470);
}

}  // namespace nuvak
