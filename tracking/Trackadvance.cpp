#include "tracking/Trackadvance.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/format.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "resources/messages.h"
#include "tracking/state.h"

namespace nuvak {

TTrackAd::TTrackAd(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TTrackAd"));
    setWindowTitle(QStringLiteral("追尾計測　高度な設定"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(340, 320);

    CheckBox1 = platform::Place(new QCheckBox(QStringLiteral("ダーク処理"), this), "CheckBox1", 12, 10, 120, 20);
    Button1 = platform::Place(new QPushButton(QStringLiteral("開く"), this), "Button1", 250, 8, 75, 24);
    ListBox1 = platform::Place(new QListWidget(this), "ListBox1", 12, 36, 313, 80);
    ListBox1->setEnabled(false);
    Label1 = platform::Place(new QLabel(QStringLiteral("膨張係数"), this), "Label1", 12, 128, 90, 20);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("1.000"), this), "Edit2", 110, 126, 70, 22);
    Label2 = platform::Place(new QLabel(QStringLiteral("PSF半径　"), this), "Label2", 12, 156, 90, 20);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("10"), this), "Edit1", 110, 154, 70, 22);
    CheckBox3 = platform::Place(new QCheckBox(QStringLiteral("ノイズカット"), this), "CheckBox3", 200, 154, 120, 22);
    GroupBox1 = platform::Place(new QGroupBox(QStringLiteral("恒星指定"), this), "GroupBox1", 12, 184, 313, 90);
    CheckBox2 = platform::Place(new QCheckBox(QStringLiteral("有効にする"), GroupBox1), "CheckBox2", 10, 20, 120, 20);
    Label3 = platform::Place(new QLabel(QStringLiteral("X = "), GroupBox1), "Label3", 10, 52, 30, 20);
    Edit3 = platform::Place(new QLineEdit(QStringLiteral("0"), GroupBox1), "Edit3", 40, 50, 55, 22);
    Label4 = platform::Place(new QLabel(QStringLiteral("Y = "), GroupBox1), "Label4", 105, 52, 30, 20);
    Edit4 = platform::Place(new QLineEdit(QStringLiteral("0"), GroupBox1), "Edit4", 135, 50, 55, 22);
    Label5 = platform::Place(new QLabel(QStringLiteral("Range = "), GroupBox1), "Label5", 200, 52, 55, 20);
    Edit5 = platform::Place(new QLineEdit(QStringLiteral("20"), GroupBox1), "Edit5", 255, 50, 45, 22);
    Button2 = platform::Place(new QPushButton(QStringLiteral("閉じる"), this), "Button2", 250, 284, 75, 26);

    connect(Button1, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button1Click(); }));
    connect(CheckBox1, &QCheckBox::clicked, this, platform::GuardedSlot([this] { CheckBox1Click(); }));
    connect(CheckBox2, &QCheckBox::clicked, this, platform::GuardedSlot([this] { CheckBox2Click(); }));
    connect(Button2, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button2Click(); }));
}

void TTrackAd::Button1Click() {
    platform::FileDialogRequest request{QString(), QString(), 1, true, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (!r.accepted) return;
    ListBox1->clear();
    for (const QString& file : r.files) ListBox1->addItem(file);
    ListBox1->setEnabled(true);
    CheckBox1->setChecked(true);
}

void TTrackAd::CheckBox1Click() { ListBox1->setEnabled(CheckBox1->isChecked()); }

void TTrackAd::CheckBox2Click() {
    if (!CheckBox2->isChecked() && state_) state_->StarPickState = 0;
}

void TTrackAd::Button2Click() {
    const int r = ParseInt(Edit1->text().toStdString());
    const double c = ParseReal(Edit2->text().toStdString());
    if (r > 0 && r < 50 && c >= 0.001 && c < 3) accept();
    if (r <= 0 || r >= 50) platform::ui().message(this, QString::fromUtf8(msg::kTrackPsfRadiusRange));
    if (c < 0.001 || c >= 3) platform::ui().message(this, QString::fromUtf8(msg::kTrackMultiplierRange));
}

MeasureSettings TTrackAd::settings() const {
    MeasureSettings s;
    s.darkProcessing = CheckBox1->isChecked();
    for (int i = 0; i < ListBox1->count(); ++i) s.darks.push_back(ListBox1->item(i)->text().toStdString());
    s.noiseCut = CheckBox3->isChecked();
    s.psfRadius = ParseInt(Edit1->text().toStdString());
    s.starSpecified = CheckBox2->isChecked();
    if (s.starSpecified) {
        s.starX = ParseInt(Edit3->text().toStdString());
        s.starY = ParseInt(Edit4->text().toStdString());
        s.searchRange = ParseInt(Edit5->text().toStdString());
    }
    return s;
}

void TTrackAd::setStar(int x, int y) {
    Edit3->setText(QString::number(x));
    Edit4->setText(QString::number(y));
}

void TTrackAd::specifyStar() { CheckBox2->setChecked(true); }
int TTrackAd::searchRange() const { return ParseInt(Edit5->text().toStdString()); }
int TTrackAd::psfRadius() const { return ParseInt(Edit1->text().toStdString()); }

}  // namespace nuvak
