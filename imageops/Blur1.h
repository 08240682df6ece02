#pragma once
// The blur dialog: an amount of blur above 0 and at most 10.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TBLUR : public QDialog {
    Q_OBJECT
public:
    explicit TBLUR(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;    // amount of blur, default "1.0"
    QPushButton* Button1;

    // The program-wide blur-amount setting (pixels), which the guide-miss panel also writes:
    // when set, OK stores the accepted amount there. Nothing else reads the dialog's amount.
    double* blurAmount = nullptr;

public slots:
    // OK: stores the amount and closes when 0 < amount <= 10, otherwise asks again.
    void Button1Click();
};

}  // namespace nuvak
