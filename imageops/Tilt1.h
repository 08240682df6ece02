#pragma once
// The background-tilt dialog: a picture and one scroll bar per direction. No command shows
// it; it has no handlers.

#include <QDialog>

class QGroupBox;
class QPushButton;
class QScrollBar;

namespace nuvak {

namespace platform {
class Picture;
}

class TTilt : public QDialog {
    Q_OBJECT
public:
    explicit TTilt(QWidget* parent = nullptr);

    platform::Picture* Image1;
    QGroupBox* GroupBox1;   // "X方向"
    QScrollBar* ScrollBar1;
    QGroupBox* GroupBox2;   // "Y方向"
    QScrollBar* ScrollBar2;
    QPushButton* Button1;   // "OK"
    QPushButton* Button2;   // "キャンセル"
};

}  // namespace nuvak
