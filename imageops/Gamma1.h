#pragma once
// The gamma dialog: one real value, accepted when it is above zero.

#include <QDialog>

#include "imageops/tone.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TGMM : public QDialog {
    Q_OBJECT
public:
    explicit TGMM(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;    // gamma, default "1.0"
    QPushButton* Button1;

    // The gamma setting of the program: the value last read by ReadGamma.
    GammaSetting Setting;

    // Parses Edit1 as a real (ConversionError when it is not one), stores it as the gamma
    // setting and returns it. The gamma and coma commands call it after the dialog closed.
    double ReadGamma();

public slots:
    // OK: closes when the gamma is above zero, otherwise asks again.
    void Button1Click();
};

}  // namespace nuvak
