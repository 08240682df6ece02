#pragma once
// The edge-enhancement dialog: a strength from 1.0 to 5.0.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TEDG : public QDialog {
    Q_OBJECT
public:
    explicit TEDG(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;    // strength, default "1.0"
    QPushButton* Button1;

public slots:
    // OK: closes when 1.0 <= strength <= 5.0, otherwise asks again.
    void Button1Click();
};

}  // namespace nuvak
