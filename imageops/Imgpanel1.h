#pragma once
// The image adjustment panel: tone curve, colour balance and background groups. No command
// shows it; it has no handlers.

#include <QDialog>

class QGroupBox;
class QPushButton;
class QScrollBar;

namespace nuvak {

class TImgPanel : public QDialog {
    Q_OBJECT
public:
    explicit TImgPanel(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;   // "トーンカーブ"
    QGroupBox* GroupBox2;   // "カラーバランス"
    QScrollBar* ScrollBar1;
    QScrollBar* ScrollBar2;
    QScrollBar* ScrollBar3;
    QGroupBox* GroupBox3;   // "背景処理"
    QPushButton* Button1;   // "OK"
    QPushButton* Button2;   // "キャンセル"
};

}  // namespace nuvak
