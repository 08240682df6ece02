#include "rgbcomp/Advance1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>

#include "core/format.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "rgbcomp/Rgbcomp1.h"
#include "rgbcomp/project.h"
#include "workspace/Morvel2.h"

namespace nuvak {

namespace {

// Space between a workbench window and the main window's bars, and between the two windows.
constexpr int kGap = 8;

int flag(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

void showFlag(QCheckBox* box, int value) { box->setChecked(FlagAfterLoad(flag(box), value) == 1); }

}  // namespace

QPoint BelowToolBar(const TMainForm& main, QSize frame, int dx) {
    // The client area starts right under the menu bar and the tool bar.
    QPoint at = main.mdiArea()->mapToGlobal(QPoint(kGap + dx, kGap));
    if (const QScreen* screen = main.screen()) {
        const QRect room = screen->availableGeometry();
        at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - frame.width())));
    }
    return at;
}

TAdvance::TAdvance(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TAdvance"));
    setWindowTitle(QStringLiteral("Advance"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(356, 398);

    GroupBox1 = platform::Place(new QGroupBox(QStringLiteral("高度な設定"), this), "GroupBox1", 8, 8, 340, 344);

    GroupBox2 = platform::Place(new QGroupBox(QStringLiteral("ブルーミング除去"), GroupBox1), "GroupBox2", 8, 20, 324, 80);
    CheckBox7 = platform::Place(new QCheckBox(QStringLiteral("有効にする"), GroupBox2), "CheckBox7", 10, 20, 120, 20);
    Label1 = platform::Place(new QLabel(QStringLiteral("閾値"), GroupBox2), "Label1", 10, 50, 30, 20);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("60000"), GroupBox2), "Edit1", 40, 48, 60, 22);
    Label2 = platform::Place(new QLabel(QStringLiteral("太さ"), GroupBox2), "Label2", 120, 50, 30, 20);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("2"), GroupBox2), "Edit2", 150, 48, 40, 22);
    Label3 = platform::Place(new QLabel(QStringLiteral("長さ"), GroupBox2), "Label3", 210, 50, 30, 20);
    Edit3 = platform::Place(new QLineEdit(QStringLiteral("5"), GroupBox2), "Edit3", 240, 48, 40, 22);

    GroupBox3 = platform::Place(new QGroupBox(QStringLiteral("180度回転画像"), GroupBox1), "GroupBox3", 8, 108, 158, 124);
    CheckBox1 = platform::Place(new QCheckBox(QStringLiteral("赤チャネル"), GroupBox3), "CheckBox1", 10, 22, 130, 20);
    CheckBox2 = platform::Place(new QCheckBox(QStringLiteral("緑チャネル"), GroupBox3), "CheckBox2", 10, 46, 130, 20);
    CheckBox3 = platform::Place(new QCheckBox(QStringLiteral("青チャネル"), GroupBox3), "CheckBox3", 10, 70, 130, 20);

    GroupBox4 = platform::Place(new QGroupBox(QStringLiteral("自動背景補正"), GroupBox1), "GroupBox4", 174, 108, 158, 124);
    CheckBox4 = platform::Place(new QCheckBox(QStringLiteral("赤チャネル"), GroupBox4), "CheckBox4", 10, 22, 130, 20);
    CheckBox5 = platform::Place(new QCheckBox(QStringLiteral("緑チャネル"), GroupBox4), "CheckBox5", 10, 46, 130, 20);
    CheckBox6 = platform::Place(new QCheckBox(QStringLiteral("青チャネル"), GroupBox4), "CheckBox6", 10, 70, 130, 20);
    Edit7 = platform::Place(new QLineEdit(GroupBox4), "Edit7", 10, 96, 40, 20);
    Edit8 = platform::Place(new QLineEdit(GroupBox4), "Edit8", 58, 96, 40, 20);
    Edit9 = platform::Place(new QLineEdit(GroupBox4), "Edit9", 106, 96, 40, 20);

    GroupBox5 = platform::Place(new QGroupBox(QStringLiteral("トーンカーブ"), GroupBox1), "GroupBox5", 8, 240, 324, 94);
    RadioButton1 = platform::Place(new QRadioButton(QStringLiteral("リニア"), GroupBox5), "RadioButton1", 10, 22, 70, 20);
    RadioButton2 = platform::Place(new QRadioButton(QStringLiteral("LOG"), GroupBox5), "RadioButton2", 10, 56, 60, 20);
    Edit4 = platform::Place(new QLineEdit(QStringLiteral("1000"), GroupBox5), "Edit4", 72, 55, 60, 22);
    RadioButton3 = platform::Place(new QRadioButton(QStringLiteral("γ"), GroupBox5), "RadioButton3", 170, 22, 40, 20);
    Edit5 = platform::Place(new QLineEdit(QStringLiteral("1.0"), GroupBox5), "Edit5", 232, 21, 60, 22);
    RadioButton4 = platform::Place(new QRadioButton(QStringLiteral("ATAN"), GroupBox5), "RadioButton4", 170, 56, 60, 20);
    Edit6 = platform::Place(new QLineEdit(QStringLiteral("200"), GroupBox5), "Edit6", 232, 55, 60, 22);
    RadioButton4->setChecked(true);

    Button1 = platform::Place(new QPushButton(QStringLiteral("閉じる"), this), "Button1", 273, 362, 75, 26);
    connect(Button1, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button1Click(); }));
}

AdvancedCompositeSettings TAdvance::shownSettings() const {
    AdvancedCompositeSettings s;
    s.bloomingEnable = flag(CheckBox7);
    s.bloomingThreshold = ParseInt(Edit1->text().toStdString());
    s.bloomingThickness = ParseInt(Edit2->text().toStdString());
    s.bloomingLength = ParseInt(Edit3->text().toStdString());
    s.turn = {flag(CheckBox1), flag(CheckBox2), flag(CheckBox3)};
    s.slope = {flag(CheckBox4), flag(CheckBox5), flag(CheckBox6)};
    return s;
}

void TAdvance::showSettings(const AdvancedCompositeSettings& s) {
    settings = s;
    showFlag(CheckBox7, s.bloomingEnable);
    Edit1->setText(QString::number(s.bloomingThreshold));
    Edit2->setText(QString::number(s.bloomingThickness));
    Edit3->setText(QString::number(s.bloomingLength));
    QCheckBox* turn[] = {CheckBox1, CheckBox2, CheckBox3};
    QCheckBox* slope[] = {CheckBox4, CheckBox5, CheckBox6};
    for (int c = 0; c < 3; ++c) {
        showFlag(turn[c], s.turn[c]);
        showFlag(slope[c], s.slope[c]);
    }
}

void TAdvance::showEvent(QShowEvent* event) {
    // A window is moved before the system shows it, so it appears at its place at once.
    if (const TMainForm* main = qobject_cast<const TMainForm*>(parentWidget())) {
        move(place_.forShowing([&] {
            const int beside = main->rgbWindow ? main->rgbWindow->frameGeometry().width() + kGap : 0;
            return BelowToolBar(*main, frameGeometry().size(), beside);
        }));
    }
    QWidget::showEvent(event);
}

void TAdvance::hideEvent(QHideEvent* event) {
    place_.hidden(pos());
    QWidget::hideEvent(event);
}

void TAdvance::Button1Click() {
    copySettings();
    hide();
}

}  // namespace nuvak
