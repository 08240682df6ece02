#include "tracking/Trackadvance.h"

namespace nuvak {

TTrackAd::TTrackAd(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TTrackAd"));
    setWindowTitle(QStringLiteral("追尾計測　高度な設定"));
    resize(340, 320);
}

}  // namespace nuvak
