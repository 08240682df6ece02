#pragma once
// The mosaic dialog: the open images for information, and the grid as cells across by
// cells down. Cancel leaves "0" in the cells-down field and marks the dialog cancelled, which
// the command reads as "stop"; a count of 0 typed by the user is refused by the command.

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace nuvak {

class TMscomp : public QDialog {
    Q_OBJECT
public:
    explicit TMscomp(QWidget* parent = nullptr);

    QLabel* Label1;          // "合成する画像"
    QListWidget* ListBox1;   // captions of the image windows
    QLabel* Label2;          // "行"
    QLineEdit* Edit1;        // cells across
    QLabel* Label3;          // "by"
    QLabel* Label4;          // "列"
    QLineEdit* Edit2;        // cells down
    QPushButton* Button1;    // "OK"
    QPushButton* Button2;    // "ｷｬﾝｾﾙ"

    // Set by Cancel; cleared by Prepare.
    bool cancelled = false;

    // Refills the dialog for a run: the captions of the image windows in the list, "1"
    // across and their number down.
    void Prepare(const QStringList& captions);

public slots:
    void Button1Click();
    void Button2Click();
};

}  // namespace nuvak
