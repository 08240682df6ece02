#pragma once
// The Sabattier-effect dialog: the step width.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TSabachie : public QDialog {
    Q_OBJECT
public:
    explicit TSabachie(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;    // step width, default "255"
    QPushButton* Button1;

public slots:
    // OK: closes; the command reads the step width afterwards.
    void Button1Click();
};

}  // namespace nuvak
