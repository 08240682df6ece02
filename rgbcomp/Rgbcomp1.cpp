#include "rgbcomp/Rgbcomp1.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <iostream>
#include <optional>

#include "core/error.h"
#include "core/format.h"
#include "platform/services.h"
#include "resources/messages.h"
#include "rgbcomp/Advance1.h"
#include "rgbcomp/coordinates.h"
#include "rgbcomp/pipeline.h"
#include "rgbcomp/project.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"

namespace nuvak {

namespace {

const QString kFramesFilter = QStringLiteral("FITS(*.fit,*.fts,*.fits)|*.fit;*.fts;*.fits");  // OpenDialog1
const QString kProjectFilter = QStringLiteral("MORVEL-2|*.mvl");                            // OpenDialog2, SaveDialog2
const QString kCoordinateFilter = QStringLiteral("FITS|*.fit;*.fts;*.fits");                // OpenDialog3

std::string text(const QLineEdit* e) { return e->text().toStdString(); }

// A white-balance up-down position as its field shows it: the value with two decimals and
// no leading zero below 1 (50 -> ".50", 100 -> "1.00", 151 -> "1.51").
QString FactorText(int position) {
    const int whole = position / 100, cents = position % 100;
    return (whole ? QString::number(whole) : QString()) + QLatin1Char('.') + QStringLiteral("%1").arg(cents, 2, 10, QLatin1Char('0'));
}

// A white-balance value as its up-down's position: the value times 100 truncated. A product
// that misses a whole number only by the rounding of the decimal text ("0.29" gives
// 28.999999999999996) counts as that number.
int FactorPosition(double v) {
    const double p = v * 100;
    const double nearest = std::round(p);
    if (std::fabs(p - nearest) <= 1e-9 * std::max(1.0, std::fabs(nearest))) return static_cast<int>(nearest);
    return static_cast<int>(std::clamp(std::trunc(p), -2e9, 2e9));
}

// Editable: white and writable; locked: the button face and read-only.
void SetEditable(QLineEdit* e, bool editable) {
    e->setReadOnly(!editable);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, editable ? QColor(Qt::white) : p.color(QPalette::Button));
    e->setPalette(p);
}

// The main window's client area: the window less its menu bar.
QSize ClientSize(TMainForm* main) {
    QSize s = main->size();
    if (main->menuBar() && !main->menuBar()->isNativeMenuBar()) s.rheight() -= main->menuBar()->sizeHint().height();
    return s;
}

QMdiSubWindow* FrameOf(TChild* child) { return qobject_cast<QMdiSubWindow*>(child->parentWidget()); }

void ShowError(QWidget* parent, const std::exception& e) { platform::ui().message(parent, QString::fromUtf8(e.what())); }

}  // namespace

TRGBComp::TRGBComp(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TRGBComp"));
    setWindowTitle(QStringLiteral("RGB"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(760, 436);
    using platform::Place;

    // The five frame lists: a multi-select list, "追加", "削除" and the count with "枚".
    struct ListGroup {
        QGroupBox*& group;
        QListWidget*& list;
        QPushButton*& add;
        QPushButton*& remove;
        QLineEdit*& count;
        QLabel*& label;
        const char* names[6];
        const char* caption;
        int x, y, height;
    };
    ListGroup groups[] = {
        {GroupBox1, ListBox1, Button1, Button8, Edit1, Label1,
         {"GroupBox1", "ListBox1", "Button1", "Button8", "Edit1", "Label1"}, "赤", 8, 8, 170},
        {GroupBox2, ListBox2, Button2, Button9, Edit2, Label2,
         {"GroupBox2", "ListBox2", "Button2", "Button9", "Edit2", "Label2"}, "緑", 196, 8, 170},
        {GroupBox3, ListBox3, Button3, Button10, Edit3, Label3,
         {"GroupBox3", "ListBox3", "Button3", "Button10", "Edit3", "Label3"}, "青", 384, 8, 170},
        {GroupBox4, ListBox4, Button4, Button11, Edit4, Label4,
         {"GroupBox4", "ListBox4", "Button4", "Button11", "Edit4", "Label4"}, "ダーク", 572, 8, 170},
        {GroupBox5, ListBox5, Button5, Button12, Edit5, Label5,
         {"GroupBox5", "ListBox5", "Button5", "Button12", "Edit5", "Label5"}, "フラット", 572, 186, 132},
    };
    for (ListGroup& g : groups) {
        g.group = Place(new QGroupBox(QString::fromUtf8(g.caption), this), g.names[0], g.x, g.y, 180, g.height);
        g.list = Place(new QListWidget(g.group), g.names[1], 8, 18, 164, g.height - 54);
        g.list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        const int row = g.height - 32;
        g.add = Place(new QPushButton(QStringLiteral("追加"), g.group), g.names[2], 8, row, 48, 24);
        g.remove = Place(new QPushButton(QStringLiteral("削除"), g.group), g.names[3], 60, row, 48, 24);
        g.count = Place(new QLineEdit(QStringLiteral("0"), g.group), g.names[4], 116, row + 1, 34, 22);
        g.count->setReadOnly(true);
        g.label = Place(new QLabel(QStringLiteral("枚"), g.group), g.names[5], 154, row + 3, 20, 18);
    }

    // Reference stars: the mode and the two stars' rows.
    GroupBox6 = Place(new QGroupBox(QStringLiteral("基準星"), this), "GroupBox6", 8, 186, 372, 132);
    RadioButton3 = Place(new QRadioButton(QStringLiteral("なし"), GroupBox6), "RadioButton3", 10, 20, 50, 20);
    RadioButton1 = Place(new QRadioButton(QStringLiteral("１星"), GroupBox6), "RadioButton1", 10, 48, 50, 20);
    RadioButton2 = Place(new QRadioButton(QStringLiteral("２星"), GroupBox6), "RadioButton2", 10, 76, 50, 20);
    RadioButton3->setChecked(true);
    auto field = [this](QWidget* box, QLabel*& label, const char* labelName, const char* caption, QLineEdit*& edit,
                        const char* editName, const char* initial, platform::UpDown*& arrows, const char* arrowsName,
                        int x, int y, int labelWidth, int editWidth) {
        label = Place(new QLabel(QString::fromUtf8(caption), box), labelName, x, y + 2, labelWidth, 18);
        edit = Place(new QLineEdit(QString::fromUtf8(initial), box), editName, x + labelWidth, y, editWidth, 22);
        arrows = Place(new platform::UpDown(box), arrowsName, x + labelWidth + editWidth, y, 15, 22);
    };
    field(GroupBox6, Label6, "Label6", "X =", Edit6, "Edit6", "0", UpDown1, "UpDown1", 64, 46, 26, 44);
    field(GroupBox6, Label7, "Label7", "Y =", Edit9, "Edit9", "0", UpDown2, "UpDown2", 158, 46, 26, 44);
    field(GroupBox6, Label8, "Label8", "Δ1=", Edit8, "Edit8", "10", UpDown5, "UpDown5", 252, 46, 32, 40);
    field(GroupBox6, Label9, "Label9", "X =", Edit7, "Edit7", "0", UpDown3, "UpDown3", 64, 74, 26, 44);
    field(GroupBox6, Label10, "Label10", "Y =", Edit10, "Edit10", "0", UpDown4, "UpDown4", 158, 74, 26, 44);
    field(GroupBox6, Label11, "Label11", "Δ2 =", Edit11, "Edit11", "10", UpDown6, "UpDown6", 252, 74, 32, 40);
    Button13 = Place(new QPushButton(QStringLiteral("座標取得"), GroupBox6), "Button13", 252, 102, 87, 24);
    Edit19 = Place(new QLineEdit(QStringLiteral("1"), GroupBox6), "Edit19", 64, 104, 30, 20);
    Edit19->hide();
    // The star fields start locked, their up-downs enabled: the mode's handler has not run yet.
    for (QLineEdit* e : {Edit6, Edit9, Edit8, Edit7, Edit10, Edit11}) SetEditable(e, false);

    GroupBox7 = Place(new QGroupBox(QStringLiteral("ピーク検出方法"), this), "GroupBox7", 388, 186, 176, 132);
    RadioButton4 = Place(new QRadioButton(QStringLiteral("重心"), GroupBox7), "RadioButton4", 12, 24, 120, 20);
    RadioButton5 = Place(new QRadioButton(QStringLiteral("ピーク"), GroupBox7), "RadioButton5", 12, 52, 120, 20);
    RadioButton6 = Place(new QRadioButton(QStringLiteral("なし"), GroupBox7), "RadioButton6", 12, 80, 120, 20);
    RadioButton5->setChecked(true);

    GroupBox8 = Place(new QGroupBox(QStringLiteral("バックグラウンド"), this), "GroupBox8", 8, 326, 372, 60);
    field(GroupBox8, Label12, "Label12", "X =", Edit12, "Edit12", "0", UpDown7, "UpDown7", 10, 26, 26, 50);
    field(GroupBox8, Label13, "Label13", "Y =", Edit13, "Edit13", "0", UpDown8, "UpDown8", 112, 26, 26, 50);
    field(GroupBox8, Label14, "Label14", "B.G.L =", Edit14, "Edit14", "10", UpDown9, "UpDown9", 214, 26, 52, 44);

    GroupBox9 = Place(new QGroupBox(QStringLiteral("ホワイトバランス"), this), "GroupBox9", 388, 326, 364, 60);
    field(GroupBox9, Label15, "Label15", "R =", Edit15, "Edit15", "1.00", UpDown10, "UpDown10", 8, 26, 24, 44);
    field(GroupBox9, Label16, "Label16", "G =", Edit16, "Edit16", "1.00", UpDown11, "UpDown11", 97, 26, 24, 44);
    field(GroupBox9, Label17, "Label17", "B =", Edit17, "Edit17", "1.00", UpDown12, "UpDown12", 186, 26, 24, 44);
    field(GroupBox9, Label18, "Label18", "K =", Edit18, "Edit18", "1.00", UpDown13, "UpDown13", 275, 26, 24, 44);

    for (platform::UpDown* u : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown7, UpDown8}) u->setRange(0, 2000);
    for (platform::UpDown* u : {UpDown5, UpDown6, UpDown9}) {
        u->setRange(0, 100);
        u->setPosition(10);  // as the field shows
    }
    for (platform::UpDown* u : {UpDown10, UpDown11, UpDown12, UpDown13}) {
        u->setRange(0, 2000);
        u->setPosition(100);
    }

    Button14 = Place(new QPushButton(QStringLiteral("高度な設定"), this), "Button14", 8, 398, 96, 28);
    Button15 = Place(new QPushButton(QStringLiteral("読み込み"), this), "Button15", 112, 398, 80, 28);
    Button16 = Place(new QPushButton(QStringLiteral("保存"), this), "Button16", 200, 398, 80, 28);
    Button7 = Place(new QPushButton(QStringLiteral("OK"), this), "Button7", 580, 398, 80, 28);
    Button6 = Place(new QPushButton(QStringLiteral("キャンセル"), this), "Button6", 672, 398, 80, 28);

    auto onClick = [this](QAbstractButton* b, void (TRGBComp::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, platform::GuardedSlot([this, handler] { (this->*handler)(); }));
    };
    onClick(Button1, &TRGBComp::Button1Click);
    onClick(Button2, &TRGBComp::Button2Click);
    onClick(Button3, &TRGBComp::Button3Click);
    onClick(Button4, &TRGBComp::Button4Click);
    onClick(Button5, &TRGBComp::Button5Click);
    onClick(Button6, &TRGBComp::Button6Click);
    onClick(Button7, &TRGBComp::Button7Click);
    onClick(Button8, &TRGBComp::Button8Click);
    onClick(Button9, &TRGBComp::Button9Click);
    onClick(Button10, &TRGBComp::Button10Click);
    onClick(Button11, &TRGBComp::Button11Click);
    onClick(Button12, &TRGBComp::Button12Click);
    onClick(Button13, &TRGBComp::Button13Click);
    onClick(Button14, &TRGBComp::Button14Click);
    onClick(Button15, &TRGBComp::Button15Click);
    onClick(Button16, &TRGBComp::Button16Click);
    onClick(RadioButton1, &TRGBComp::RadioButton1Click);
    onClick(RadioButton2, &TRGBComp::RadioButton2Click);
    onClick(RadioButton3, &TRGBComp::RadioButton3Click);
    auto onChange = [this](QLineEdit* e, void (TRGBComp::*handler)()) {
        connect(e, &QLineEdit::textChanged, this, platform::GuardedSlot([this, handler] { (this->*handler)(); }));
    };
    onChange(Edit6, &TRGBComp::Edit6Change);
    onChange(Edit7, &TRGBComp::Edit7Change);
    onChange(Edit8, &TRGBComp::Edit8Change);
    onChange(Edit9, &TRGBComp::Edit9Change);
    onChange(Edit10, &TRGBComp::Edit10Change);
    onChange(Edit11, &TRGBComp::Edit11Change);
    onChange(Edit12, &TRGBComp::Edit12Change);
    onChange(Edit13, &TRGBComp::Edit13Change);
    onChange(Edit14, &TRGBComp::Edit14Change);
    onChange(Edit15, &TRGBComp::Edit15Change);
    onChange(Edit16, &TRGBComp::Edit16Change);
    onChange(Edit17, &TRGBComp::Edit17Change);
    onChange(Edit18, &TRGBComp::Edit18Change);
    auto onArrow = [this](platform::UpDown* u, void (TRGBComp::*handler)(platform::UpDown::Button)) {
        connect(u, &platform::UpDown::clicked, this, [this, handler](platform::UpDown::Button b) {
            platform::Guarded([this, handler, b] { (this->*handler)(b); });
        });
    };
    onArrow(UpDown1, &TRGBComp::UpDown1Click);
    onArrow(UpDown2, &TRGBComp::UpDown2Click);
    onArrow(UpDown3, &TRGBComp::UpDown3Click);
    onArrow(UpDown4, &TRGBComp::UpDown4Click);
    onArrow(UpDown5, &TRGBComp::UpDown5Click);
    onArrow(UpDown6, &TRGBComp::UpDown6Click);
    onArrow(UpDown7, &TRGBComp::UpDown7Click);
    onArrow(UpDown8, &TRGBComp::UpDown8Click);
    onArrow(UpDown9, &TRGBComp::UpDown9Click);
    onArrow(UpDown10, &TRGBComp::UpDown10Click);
    onArrow(UpDown11, &TRGBComp::UpDown11Click);
    onArrow(UpDown12, &TRGBComp::UpDown12Click);
    onArrow(UpDown13, &TRGBComp::UpDown13Click);
}

void TRGBComp::showEvent(QShowEvent* event) {
    // A window is moved before the system shows it, so it appears at its place at once.
    if (const TMainForm* main = mainForm())
        move(place_.forShowing([&] { return BelowToolBar(*main, frameGeometry().size(), 0); }));
    QWidget::showEvent(event);
}

void TRGBComp::hideEvent(QHideEvent* event) {
    place_.hidden(pos());
    QWidget::hideEvent(event);
}

TMainForm* TRGBComp::mainForm() const { return qobject_cast<TMainForm*>(parentWidget()); }

QListWidget* TRGBComp::list(int which) const {
    QListWidget* lists[] = {ListBox1, ListBox2, ListBox3, ListBox4, ListBox5};
    return lists[which];
}

QLineEdit* TRGBComp::countField(int which) const {
    QLineEdit* counts[] = {Edit1, Edit2, Edit3, Edit4, Edit5};
    return counts[which];
}

// Frame lists.

void TRGBComp::addFrames(int which) {
    const platform::FileDialogRequest request{QString(), kFramesFilter, 1, true, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (r.accepted) list(which)->addItems(r.files);
    countField(which)->setText(QString::number(list(which)->count()));
}

void TRGBComp::deleteFrames(int which) {
    QListWidget* l = list(which);
    for (int i = l->count() - 1; i >= 0; --i)
        if (l->item(i)->isSelected()) delete l->takeItem(i);
    countField(which)->setText(QString::number(l->count()));
}

void TRGBComp::Button1Click() { addFrames(kRedFrames); }
void TRGBComp::Button2Click() { addFrames(kGreenFrames); }
void TRGBComp::Button3Click() { addFrames(kBlueFrames); }
void TRGBComp::Button4Click() { addFrames(kDarkFrames); }
void TRGBComp::Button5Click() { addFrames(kFlatFrames); }
void TRGBComp::Button8Click() { deleteFrames(kRedFrames); }
void TRGBComp::Button9Click() { deleteFrames(kGreenFrames); }
void TRGBComp::Button10Click() { deleteFrames(kBlueFrames); }
void TRGBComp::Button11Click() { deleteFrames(kDarkFrames); }
void TRGBComp::Button12Click() { deleteFrames(kFlatFrames); }

// Reference-star mode.

void TRGBComp::lockStarFields(int mode) {
    const bool star1 = mode != kNoStar, star2 = mode == kTwoStars;
    SetEditable(Edit6, star1);
    SetEditable(Edit9, star1);
    SetEditable(Edit8, star1);
    SetEditable(Edit11, star1);
    SetEditable(Edit7, star2);
    SetEditable(Edit10, star2);
    for (platform::UpDown* u : {UpDown1, UpDown2, UpDown5, UpDown6}) u->setEnabled(star1);
    for (platform::UpDown* u : {UpDown3, UpDown4}) u->setEnabled(star2);
    if (star2) Edit19->setText(QStringLiteral("1"));
}

void TRGBComp::RadioButton1Click() { lockStarFields(kOneStar); }
void TRGBComp::RadioButton2Click() { lockStarFields(kTwoStars); }
void TRGBComp::RadioButton3Click() { lockStarFields(kNoStar); }

// Field and up-down pairs: integer fields hold the position, the factors a hundredth of it.

void TRGBComp::Edit6Change() { UpDown1->setPosition(ParseInt(text(Edit6))); }
void TRGBComp::Edit9Change() { UpDown2->setPosition(ParseInt(text(Edit9))); }
void TRGBComp::Edit7Change() { UpDown3->setPosition(ParseInt(text(Edit7))); }
void TRGBComp::Edit10Change() { UpDown4->setPosition(ParseInt(text(Edit10))); }
void TRGBComp::Edit8Change() { UpDown5->setPosition(ParseInt(text(Edit8))); }
void TRGBComp::Edit11Change() { UpDown6->setPosition(ParseInt(text(Edit11))); }
void TRGBComp::Edit12Change() { UpDown7->setPosition(ParseInt(text(Edit12))); }
void TRGBComp::Edit13Change() { UpDown8->setPosition(ParseInt(text(Edit13))); }
void TRGBComp::Edit14Change() { UpDown9->setPosition(ParseInt(text(Edit14))); }
void TRGBComp::Edit15Change() { UpDown10->setPosition(FactorPosition(ParseReal(text(Edit15)))); }
void TRGBComp::Edit16Change() { UpDown11->setPosition(FactorPosition(ParseReal(text(Edit16)))); }
void TRGBComp::Edit17Change() { UpDown12->setPosition(FactorPosition(ParseReal(text(Edit17)))); }
void TRGBComp::Edit18Change() { UpDown13->setPosition(FactorPosition(ParseReal(text(Edit18)))); }

void TRGBComp::UpDown1Click(platform::UpDown::Button) { Edit6->setText(QString::number(UpDown1->position())); }
void TRGBComp::UpDown2Click(platform::UpDown::Button) { Edit9->setText(QString::number(UpDown2->position())); }
void TRGBComp::UpDown3Click(platform::UpDown::Button) { Edit7->setText(QString::number(UpDown3->position())); }
void TRGBComp::UpDown4Click(platform::UpDown::Button) { Edit10->setText(QString::number(UpDown4->position())); }
void TRGBComp::UpDown5Click(platform::UpDown::Button) { Edit8->setText(QString::number(UpDown5->position())); }
void TRGBComp::UpDown6Click(platform::UpDown::Button) { Edit11->setText(QString::number(UpDown6->position())); }
void TRGBComp::UpDown7Click(platform::UpDown::Button) { Edit12->setText(QString::number(UpDown7->position())); }
void TRGBComp::UpDown8Click(platform::UpDown::Button) { Edit13->setText(QString::number(UpDown8->position())); }
void TRGBComp::UpDown9Click(platform::UpDown::Button) { Edit14->setText(QString::number(UpDown9->position())); }
void TRGBComp::UpDown10Click(platform::UpDown::Button) { Edit15->setText(FactorText(UpDown10->position())); }
void TRGBComp::UpDown11Click(platform::UpDown::Button) { Edit16->setText(FactorText(UpDown11->position())); }
void TRGBComp::UpDown12Click(platform::UpDown::Button) { Edit17->setText(FactorText(UpDown12->position())); }
void TRGBComp::UpDown13Click(platform::UpDown::Button) { Edit18->setText(FactorText(UpDown13->position())); }

// The set-up as numbers.

RGBCompositeSetup TRGBComp::choices() const {
    RGBCompositeSetup s;
    s.starMode = RadioButton2->isChecked() ? kTwoStars : RadioButton1->isChecked() ? kOneStar : kNoStar;
    s.detect = RadioButton4->isChecked() ? 0 : RadioButton6->isChecked() ? 2 : 1;
    return s;
}

RGBCompositeSetup TRGBComp::setup() const {
    RGBCompositeSetup s = choices();
    for (int which = 0; which < kFrameListCount; ++which) {
        const QListWidget* l = list(which);
        for (int i = 0; i < l->count(); ++i) s.lists[which].push_back(l->item(i)->text().toStdString());
    }
    s.x1 = ParseInt(text(Edit6));
    s.y1 = ParseInt(text(Edit9));
    s.x2 = ParseInt(text(Edit7));
    s.y2 = ParseInt(text(Edit10));
    s.delta1 = ParseInt(text(Edit8));
    s.delta2 = ParseInt(text(Edit11));
    s.bx = ParseInt(text(Edit12));
    s.by = ParseInt(text(Edit13));
    s.bgl = ParseInt(text(Edit14));
    s.r = ParseReal(text(Edit15));
    s.g = ParseReal(text(Edit16));
    s.b = ParseReal(text(Edit17));
    s.k = ParseReal(text(Edit18));
    if (advance) s.advanced = advance->shownSettings();
    return s;
}

void TRGBComp::showSetup(const RGBCompositeSetup& s) {
    for (int which = 0; which < kFrameListCount; ++which) {
        list(which)->clear();
        for (const std::string& path : s.lists[which]) list(which)->addItem(QString::fromStdString(path));
        countField(which)->setText(QString::number(s.lists[which].size()));
    }
    switch (s.starMode) {
        case kNoStar: RadioButton3->setChecked(true); RadioButton3Click(); break;
        case kOneStar: RadioButton1->setChecked(true); RadioButton1Click(); break;
        case kTwoStars: RadioButton2->setChecked(true); RadioButton2Click(); break;
        default: break;
    }
    // The change handlers move the up-downs.
    Edit6->setText(QString::number(s.x1));
    Edit7->setText(QString::number(s.x2));
    Edit8->setText(QString::number(s.delta1));
    Edit9->setText(QString::number(s.y1));
    Edit10->setText(QString::number(s.y2));
    Edit11->setText(QString::number(s.delta2));
    switch (s.detect) {
        case 0: RadioButton4->setChecked(true); break;
        case 1: RadioButton5->setChecked(true); break;
        case 2: RadioButton6->setChecked(true); break;
        default: break;
    }
    Edit12->setText(QString::number(s.bx));
    Edit13->setText(QString::number(s.by));
    Edit14->setText(QString::number(s.bgl));
    Edit15->setText(QString::fromStdString(FormatGeneral(s.r)));
    Edit16->setText(QString::fromStdString(FormatGeneral(s.g)));
    Edit17->setText(QString::fromStdString(FormatGeneral(s.b)));
    Edit18->setText(QString::fromStdString(FormatGeneral(s.k)));
    if (advance) advance->showSettings(s.advanced);
}

// Commands.

void TRGBComp::Button6Click() { hide(); }

void TRGBComp::Button7Click() {
    hide();
    if (advance) advance->copySettings();
    if (ListBox1->count() == 0 || ListBox2->count() == 0 || ListBox3->count() == 0) return;
    RGBCompositeSetup s = setup();
    if (advance) s.advanced = advance->settings;
    TMainForm* main = mainForm();
    if (!main) return;
    std::optional<Raster> result;
    platform::BarProgress progress(main->ProgressBar1);
    const auto notice = [main](const std::string& text) { platform::ui().message(main, QString::fromStdString(text)); };
    const bool ran = platform::RunWithBar<CompositeError, FileError>(
        main, main->ProgressBar1, [&] { result = RunRGBComposite(s, progress, notice); });
    if (!ran || !result) return;
    // The colour window takes the main window's client area less a margin and scrolls.
    const QSize client = ClientSize(main);
    TChild* child = main->addChild(RGBCompositeDocument(std::move(*result)));
    if (QMdiSubWindow* frame = FrameOf(child)) frame->resize(client.width() - 20, client.height() - 100);
    main->Edit1->setText(QStringLiteral("100.0%"));
    main->Edit2->setText(QStringLiteral("255"));
    main->Edit3->setText(QStringLiteral("0"));
    main->UpDown1->setPosition(255);
    main->UpDown2->setPosition(0);
}

void TRGBComp::Button13Click() {
    RadioButton2->setChecked(true);
    RadioButton2Click();
    const platform::FileDialogRequest request{QString(), kCoordinateFilter, 1, true, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (!r.accepted || r.filterIndex != 1) return;
    TMainForm* main = mainForm();
    if (!main) return;
    for (const QString& file : r.files) {
        CoordinateFrame frame = ReadCoordinateFrame(file.toStdString(), &std::cout);
        const QSize client = ClientSize(main) - QSize(50, 100);
        TChild* child = main->addChild(std::move(frame.document));
        // The picture keeps the frame's size and scrolls inside the client area.
        if (QMdiSubWindow* f = FrameOf(child)) f->resize(f->size() - child->size() + client);
        main->Edit1->setText(QStringLiteral("100.0%"));
        main->Edit2->setText(QString::number(static_cast<int>(std::trunc(frame.mean))));
        main->Edit3->setText(QString::number(frame.minimum));
    }
}

void TRGBComp::Button14Click() {
    if (!advance) return;
    advance->show();
    advance->copySettings();
}

void TRGBComp::Button15Click() {
    const platform::FileDialogRequest request{QString(), kProjectFilter, 1, false, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (!r.accepted || r.files.isEmpty()) return;
    // A mode or detection number that is none of the choices leaves the buttons and the
    // star fields' locks as they are.
    RGBCompositeSetup keep;
    keep.starMode = keep.detect = -1;
    RGBCompositeSetup loaded;
    try {
        loaded = LoadProjectFile(r.files.first().toStdString(), keep);
    } catch (const CompositeError& e) {
        ShowError(this, e);
        return;
    } catch (const FileError& e) {
        ShowError(this, e);
        return;
    }
    showSetup(loaded);
}

void TRGBComp::Button16Click() {
    const platform::FileDialogRequest request{QString(), kProjectFilter, 1, false, false};
    const platform::FileDialogResult r = platform::ui().saveDialog(this, request);
    if (!r.accepted || r.files.isEmpty()) return;
    const std::string target = ProjectFileName(r.files.first().toStdString());
    if (QFileInfo::exists(QString::fromStdString(target)) &&
        !platform::ui().confirm(this, QString::fromUtf8(msg::kOverwriteQuestion)))
        return;
    const RGBCompositeSetup s = setup();
    try {
        SaveProjectFile(target, s);
    } catch (const CompositeError& e) {
        ShowError(this, e);
    } catch (const FileError& e) {
        ShowError(this, e);
    }
}

}  // namespace nuvak
