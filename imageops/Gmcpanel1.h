#pragma once
// The image-processing panel of the guide-miss canceller: flow direction and amount, and the
// blur amount and threshold.

#include <QDialog>

#include "imageops/corrections.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TGMCPanel : public QDialog {
    Q_OBJECT
public:
    explicit TGMCPanel(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;  // "GMC"
    QLineEdit* Edit2;      // amount of flow in pixels, default "1"
    QLineEdit* Edit1;      // direction in degrees, default "0"
    QGroupBox* GroupBox2;  // "Blur"
    QLineEdit* Edit3;      // amount of blur in pixels, default "0.2"
    QLineEdit* Edit4;      // threshold, default "0"
    QPushButton* Button1;  // OK

    // What the last OK read; the guide-miss canceller runs with these once confirmed.
    GuideMissSettings settings;

public slots:
    // OK: reads direction, flow, blur (below 0.2 corrected to 0.2, also in Edit3) and threshold
    // into settings, marks them confirmed and closes. A text that is not a number stops it
    // with the conversion error, the panel staying open.
    void Button1Click();
};

}  // namespace nuvak
