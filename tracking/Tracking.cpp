#include "tracking/Tracking.h"

namespace nuvak {

TTrack::TTrack(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TTrack"));
    setWindowTitle(QStringLiteral("追尾計測"));
    // The file list and graph above, the 513-pixel parameter group below (ends at y = 457).
    resize(529, 465);
}

}  // namespace nuvak
