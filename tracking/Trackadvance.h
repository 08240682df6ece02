#pragma once
// The advanced settings of the tracking measurement: dark frames, noise cut, PSF radius,
// focal-length multiplier and the designated star. Its fields hold the settings themselves.

#include <QDialog>

namespace nuvak {

class TTrackAd : public QDialog {
    Q_OBJECT
public:
    explicit TTrackAd(QWidget* parent = nullptr);
};

}  // namespace nuvak
