#pragma once
// The advanced settings of the RGB composite workbench: blooming removal, 180-degree turn
// and background slope per channel. Always on top.

#include <QPoint>
#include <QWidget>
#include <optional>

#include "rgbcomp/setup.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace nuvak {

class TMainForm;

// Where a workbench window of the given frame size opens the first time: below the main
// window's menu and tool bar, at the left of its client area moved right by dx, and moved
// back left as far as the screen needs (never up over the bars).
QPoint BelowToolBar(const TMainForm& main, QSize frame, int dx);

// The place a workbench window keeps: where it first opens, then wherever the user left it
// when it was hidden, for the rest of the run.
class KeptPlace {
public:
    // The place for a showing; first() gives it the first time.
    template <class First>
    QPoint forShowing(First first) {
        if (!kept_) kept_ = first();
        return *kept_;
    }
    // Hidden after a showing (a hide before the first showing keeps nothing).
    void hidden(QPoint at) {
        if (kept_) kept_ = at;
    }

private:
    std::optional<QPoint> kept_;
};

class TAdvance : public QWidget {
    Q_OBJECT
public:
    explicit TAdvance(QWidget* parent = nullptr);

    // The program's advanced composite settings (there is one advanced settings window).
    // They change only when copied from the window and when a project file is loaded.
    AdvancedCompositeSettings settings;

    // The settings as the window shows them: check boxes as 1 or 0, the blooming fields
    // parsed (ConversionError for a text that is not an integer).
    AdvancedCompositeSettings shownSettings() const;
    // Copies what the window shows into settings.
    void copySettings() { settings = shownSettings(); }
    // Takes loaded settings: settings become them, the blooming fields show the numbers and a
    // check box follows a value of 1 or 0 (any other value leaves it as it is).
    void showSettings(const AdvancedCompositeSettings& s);

    QGroupBox* GroupBox1;    // "高度な設定"
    QGroupBox* GroupBox2;    // "ブルーミング除去"
    QCheckBox* CheckBox7;    // enable
    QLabel* Label1;
    QLineEdit* Edit1;        // threshold
    QLabel* Label2;
    QLineEdit* Edit2;        // thickness
    QLabel* Label3;
    QLineEdit* Edit3;        // length
    QGroupBox* GroupBox3;    // "180度回転画像"
    QCheckBox* CheckBox1;    // red
    QCheckBox* CheckBox2;    // green
    QCheckBox* CheckBox3;    // blue
    QGroupBox* GroupBox4;    // "自動背景補正"
    QCheckBox* CheckBox4;    // red
    QCheckBox* CheckBox5;    // green
    QCheckBox* CheckBox6;    // blue
    QLineEdit* Edit7;        // read by nothing
    QLineEdit* Edit8;
    QLineEdit* Edit9;
    QGroupBox* GroupBox5;    // "トーンカーブ" (read by nothing)
    QRadioButton* RadioButton1;  // linear
    QRadioButton* RadioButton2;  // LOG
    QRadioButton* RadioButton3;  // gamma
    QRadioButton* RadioButton4;  // ATAN
    QLineEdit* Edit4;        // LOG parameter
    QLineEdit* Edit5;        // gamma parameter
    QLineEdit* Edit6;        // ATAN parameter
    QPushButton* Button1;    // "閉じる"

    // "閉じる": copies the settings and hides the window.
    void Button1Click();

protected:
    // The first showing opens beside the workbench, below the main window's bars; later ones
    // where the user left the window.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    KeptPlace place_;
};

}  // namespace nuvak
