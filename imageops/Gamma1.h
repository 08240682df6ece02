#pragma once
// The gamma dialog: one real value, accepted when it is above zero.

#include <QDialog>

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

public slots:
    // OK: closes when the gamma is above zero, otherwise asks again.
    void Button1Click();
};

}  // namespace nuvak
