#pragma once
// The composite dialog: which open images to combine, in which order, and how. The left
// list holds the captions not chosen, the right one the chosen captions in combining order;
// the field under each list counts its entries. Cancel leaves "0" in the right count, which
// the command reads as "stop".

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "stacking/composite.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace nuvak {

class TComposite : public QDialog {
    Q_OBJECT
public:
    explicit TComposite(QWidget* parent = nullptr);

    QLabel* Label1;              // "開いている画像"
    QListWidget* ListBox1;       // captions not chosen; multi-select
    QLineEdit* Edit1;            // entries of ListBox1, default "0"
    QLabel* Label2;              // "合成する画像"
    QListWidget* ListBox2;       // chosen captions in combining order; multi-select
    QLineEdit* Edit2;            // entries of ListBox2, default "0"; "0" after Cancel
    QPushButton* Button1;        // ">>>"
    QPushButton* Button2;        // "<<<"
    QPushButton* Button5;        // "すべて選択"
    QPushButton* Button6;        // "すべて削除"
    QGroupBox* GroupBox1;        // "コンポジット方法"
    QRadioButton* RadioButton1;  // "平均" (checked)
    QRadioButton* RadioButton2;  // "加算"
    QRadioButton* RadioButton3;  // "最大値"
    QRadioButton* RadioButton4;  // "最小値"
    QRadioButton* RadioButton5;  // "期待値"
    QPushButton* Button3;        // "OK"
    QPushButton* Button4;        // "Cancel"

    // Refills the dialog for a run: both lists emptied, the captions of the image windows
    // in the left list, its count in Edit1 and "0" in Edit2.
    void Prepare(const QStringList& captions);
    // The command goes on when Edit2 sorts after "0" character by character: any count of
    // 1 or more does; "0", an empty text or a text beginning with a sign does not.
    bool Chosen() const;
    // The right list, top to bottom.
    std::vector<std::string> ChosenCaptions() const;
    // The method of the checked radio button.
    CompositeMethod Method() const;

public slots:
    void Button1Click();
    void Button2Click();
    void Button5Click();
    void Button6Click();
    void Button3Click();
    void Button4Click();

private:
    // Appends the selected entries of from (all of them when all is set) to the end of to,
    // top to bottom, then deletes them from from, bottom to top; then writes the counts.
    void move(QListWidget* from, QListWidget* to, bool all);
};

}  // namespace nuvak
