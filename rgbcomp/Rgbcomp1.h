#pragma once
// The RGB composite workbench: frame lists, alignment stars, background and white balance,
// and the project file. Non-modal and always on top.

#include <QWidget>

#include "platform/controls.h"
#include "rgbcomp/Advance1.h"
#include "rgbcomp/setup.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace nuvak {

class TAdvance;
class TMainForm;

class TRGBComp : public QWidget {
    Q_OBJECT
public:
    explicit TRGBComp(QWidget* parent = nullptr);

    // The advanced settings window the composite run copies its settings from.
    TAdvance* advance = nullptr;

    // The set-up the controls hold, the advanced window's as it shows them: integer fields
    // parsed strictly, the four factors as reals (ConversionError for a text that is not a
    // number).
    RGBCompositeSetup setup() const;
    // Shows a set-up as loading a project does: lists and counts, the mode and detection
    // buttons (running the mode's handler; a number other than 0, 1, 2 changes nothing),
    // the fields (their up-downs follow), the factors in short form ("1", "0.85"), and the
    // advanced settings and their window.
    void showSetup(const RGBCompositeSetup& s);

    // Frame lists: red, green, blue, dark, flat.
    QGroupBox* GroupBox1;
    QListWidget* ListBox1;
    QPushButton* Button1;    // add
    QPushButton* Button8;    // delete
    QLineEdit* Edit1;        // count
    QLabel* Label1;
    QGroupBox* GroupBox2;
    QListWidget* ListBox2;
    QPushButton* Button2;
    QPushButton* Button9;
    QLineEdit* Edit2;
    QLabel* Label2;
    QGroupBox* GroupBox3;
    QListWidget* ListBox3;
    QPushButton* Button3;
    QPushButton* Button10;
    QLineEdit* Edit3;
    QLabel* Label3;
    QGroupBox* GroupBox4;
    QListWidget* ListBox4;
    QPushButton* Button4;
    QPushButton* Button11;
    QLineEdit* Edit4;
    QLabel* Label4;
    QGroupBox* GroupBox5;
    QListWidget* ListBox5;
    QPushButton* Button5;
    QPushButton* Button12;
    QLineEdit* Edit5;
    QLabel* Label5;
    // Reference stars.
    QGroupBox* GroupBox6;
    QRadioButton* RadioButton3;  // "なし"
    QRadioButton* RadioButton1;  // "１星"
    QRadioButton* RadioButton2;  // "２星"
    QLabel* Label6;
    QLineEdit* Edit6;            // star 1 x
    platform::UpDown* UpDown1;
    QLabel* Label7;
    QLineEdit* Edit9;            // star 1 y
    platform::UpDown* UpDown2;
    QLabel* Label8;
    QLineEdit* Edit8;            // star 1 half-width
    platform::UpDown* UpDown5;
    QLabel* Label9;
    QLineEdit* Edit7;            // star 2 x
    platform::UpDown* UpDown3;
    QLabel* Label10;
    QLineEdit* Edit10;           // star 2 y
    platform::UpDown* UpDown4;
    QLabel* Label11;
    QLineEdit* Edit11;           // star 2 half-width
    platform::UpDown* UpDown6;
    QPushButton* Button13;       // "座標取得"
    QLineEdit* Edit19;           // hidden, "1" in two-star mode
    // Peak detection.
    QGroupBox* GroupBox7;
    QRadioButton* RadioButton4;  // "重心"
    QRadioButton* RadioButton5;  // "ピーク"
    QRadioButton* RadioButton6;  // "なし"
    // Background.
    QGroupBox* GroupBox8;
    QLabel* Label12;
    QLineEdit* Edit12;
    platform::UpDown* UpDown7;
    QLabel* Label13;
    QLineEdit* Edit13;
    platform::UpDown* UpDown8;
    QLabel* Label14;
    QLineEdit* Edit14;           // background level
    platform::UpDown* UpDown9;
    // White balance: the up-downs hold the value times 100.
    QGroupBox* GroupBox9;
    QLabel* Label15;
    QLineEdit* Edit15;
    platform::UpDown* UpDown10;
    QLabel* Label16;
    QLineEdit* Edit16;
    platform::UpDown* UpDown11;
    QLabel* Label17;
    QLineEdit* Edit17;
    platform::UpDown* UpDown12;
    QLabel* Label18;
    QLineEdit* Edit18;
    platform::UpDown* UpDown13;
    // Commands.
    QPushButton* Button7;        // "OK"
    QPushButton* Button6;        // "キャンセル"
    QPushButton* Button15;       // "読み込み"
    QPushButton* Button16;       // "保存"
    QPushButton* Button14;       // "高度な設定"

    // Add files to the red, green, blue, dark, flat list.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    // Delete the selected entries of the red ... flat list.
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Button6Click();   // hide
    void Button7Click();   // run the composite
    void Button13Click();  // coordinate windows
    void Button14Click();  // show the advanced settings window, then copy its settings
    void Button15Click();  // load a project file
    void Button16Click();  // save a project file
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    // Each field moves its up-down.
    void Edit6Change();
    void Edit7Change();
    void Edit8Change();
    void Edit9Change();
    void Edit10Change();
    void Edit11Change();
    void Edit12Change();
    void Edit13Change();
    void Edit14Change();
    void Edit15Change();
    void Edit16Change();
    void Edit17Change();
    void Edit18Change();
    // Each up-down rewrites its field.
    void UpDown1Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown2Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown3Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown4Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown5Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown6Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown7Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown8Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown9Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown10Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown11Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown12Click(platform::UpDown::Button button = platform::UpDown::Button::Up);
    void UpDown13Click(platform::UpDown::Button button = platform::UpDown::Button::Up);

protected:
    // The first showing opens below the main window's bars, later ones where the user left
    // the window.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    KeptPlace place_;
    QListWidget* list(int which) const;
    QLineEdit* countField(int which) const;
    void addFrames(int which);
    void deleteFrames(int which);
    // The reference-star mode's locks on the star fields and their up-downs.
    void lockStarFields(int mode);
    // The mode and detection choices, the rest of the set-up at its defaults.
    RGBCompositeSetup choices() const;
    // The main window the results go to (the window's owner), or nullptr.
    TMainForm* mainForm() const;
};

}  // namespace nuvak
