#pragma once
// The coma-correction dialog: optical-axis position and amount of coma.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace nuvak {

class TComaCorrect : public QDialog {
    Q_OBJECT
public:
    explicit TComaCorrect(QWidget* parent = nullptr);

    QLabel* Label1;      // "光軸座標"
    QLabel* Label2;      // "X = "
    QLabel* Label3;      // "Y = "
    QLabel* Label4;      // "コマ量"
    QLineEdit* Edit1;    // axis x
    QLineEdit* Edit2;    // axis y
    QLineEdit* Edit3;    // amount of coma
    QPushButton* Button1;

public slots:
    // OK: closes; the command reads the three fields afterwards.
    void Button1Click();
};

}  // namespace nuvak
