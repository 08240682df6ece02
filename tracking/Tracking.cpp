#include "tracking/Tracking.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <cmath>
#include <iostream>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "core/open.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "platform/system/text.h"
#include "resources/messages.h"
#include "tracking/Trackadvance.h"
#include "tracking/measure.h"
#include "tracking/report.h"
#include "tracking/results.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

namespace nuvak {

namespace {

QString u8(const char* s) { return QString::fromUtf8(s); }
std::string text(const QLineEdit* e) { return e->text().toStdString(); }

const QString kOpenFilter = QStringLiteral(
    "FITS (*.fts,*.fit,*.fits)|*.fts;*.fit;*.fits;*.fz|BMP (*.bmp)|*.bmp|JPEG (*.jpg,*.jpeg)|*.jpg;*.jpeg");
const QString kSaveFilter = QStringLiteral("テキスト(*.txt)|*.txt|すべてのファイル|*.*");
const QString kReportFilter = QStringLiteral("HTML(*.html)|*.html");

}  // namespace

TTrack::TTrack(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TTrack"));
    setWindowTitle(QStringLiteral("追尾計測"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(529, 465);
    // The full configuration also shows the results panel, the graph kinds, the flattening
    // boxes and the advanced settings button.
    const bool full = CurrentConfiguration() == Configuration::Full;

    Image1 = platform::Place(new platform::Picture(this), "Image1", 160, 16, kGraphWidth, kGraphHeight);
    Label15 = platform::Place(new QLabel(QStringLiteral("100 %"), this), "Label15", 472, 320, 50, 16);

    GroupBox1 = platform::Place(new QGroupBox(QStringLiteral("結果 "), this), "GroupBox1", 320, 8, 169, 321);
    Label16 = platform::Place(new QLabel(QStringLiteral("RMS"), GroupBox1), "Label16", 8, 20, 150, 16);
    Label7 = platform::Place(new QLabel(QStringLiteral("RMS = "), GroupBox1), "Label7", 8, 40, 150, 16);
    Label8 = platform::Place(new QLabel(QStringLiteral("RMS_X = "), GroupBox1), "Label8", 8, 60, 150, 16);
    Label9 = platform::Place(new QLabel(QStringLiteral("RMS_Y = "), GroupBox1), "Label9", 8, 80, 150, 16);
    Label17 = platform::Place(new QLabel(QStringLiteral("P-V 値"), GroupBox1), "Label17", 8, 110, 150, 16);
    Label10 = platform::Place(new QLabel(QStringLiteral("PVx = "), GroupBox1), "Label10", 8, 130, 150, 16);
    Label11 = platform::Place(new QLabel(QStringLiteral("PVy = "), GroupBox1), "Label11", 8, 150, 150, 16);
    Label12 = platform::Place(new QLabel(QStringLiteral("FWHM = "), GroupBox1), "Label12", 8, 180, 150, 18);
    QFont bold = Label12->font();
    bold.setBold(true);
    bold.setPixelSize(15);
    Label12->setFont(bold);
    Button3 = platform::Place(new QPushButton(QStringLiteral("保存"), GroupBox1), "Button3", 8, 280, 75, 25);
    Button8 = platform::Place(new QPushButton(QStringLiteral("レポート"), GroupBox1), "Button8", 86, 280, 75, 25);
    Button8->setVisible(full);
    GroupBox1->setVisible(full);

    GroupBox2 = platform::Place(new QGroupBox(QStringLiteral("パラメータ設定"), this), "GroupBox2", 8, 336, 513, 121);
    Label1 = platform::Place(new QLabel(QStringLiteral("焦点距離"), GroupBox2), "Label1", 8, 24, 60, 18);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("7800"), GroupBox2), "Edit1", 70, 22, 55, 22);
    UpDown1 = platform::Place(new platform::UpDown(GroupBox2), "UpDown1", 125, 20, 15, 26);
    Label4 = platform::Place(new QLabel(QStringLiteral("mm "), GroupBox2), "Label4", 144, 24, 30, 18);
    Label2 = platform::Place(new QLabel(QStringLiteral("画素サイズ"), GroupBox2), "Label2", 8, 54, 60, 18);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("7.4"), GroupBox2), "Edit2", 70, 52, 55, 22);
    UpDown2 = platform::Place(new platform::UpDown(GroupBox2), "UpDown2", 125, 50, 15, 26);
    Label5 = platform::Place(new QLabel(QStringLiteral("μm "), GroupBox2), "Label5", 144, 54, 30, 18);
    Label3 = platform::Place(new QLabel(QStringLiteral("時間間隔"), GroupBox2), "Label3", 8, 84, 60, 18);
    Edit3 = platform::Place(new QLineEdit(QStringLiteral("15"), GroupBox2), "Edit3", 70, 82, 55, 22);
    UpDown3 = platform::Place(new platform::UpDown(GroupBox2), "UpDown3", 125, 80, 15, 26);
    Label6 = platform::Place(new QLabel(QStringLiteral("秒"), GroupBox2), "Label6", 144, 84, 30, 18);
    UpDown1->setRange(10, 30000);
    UpDown1->setPosition(7800);
    UpDown2->setRange(1, 1000);
    UpDown2->setPosition(74);
    UpDown3->setRange(1, 1000);
    UpDown3->setPosition(15);
    Label19 = platform::Place(new QLabel(QStringLiteral("移動速度"), GroupBox2), "Label19", 180, 24, 70, 18);
    Label13 = platform::Place(new QLabel(QStringLiteral("Vx = "), GroupBox2), "Label13", 180, 50, 140, 18);
    Label14 = platform::Place(new QLabel(QStringLiteral("Vy = "), GroupBox2), "Label14", 180, 76, 140, 18);

    GroupBox3 = platform::Place(new QGroupBox(QStringLiteral("グラフ種類"), this), "GroupBox3", 320, 200, 169, 110);
    CheckBox1 = platform::Place(new QCheckBox(QStringLiteral("折れ線グラフ"), GroupBox3), "CheckBox1", 8, 20, 150, 18);
    CheckBox2 = platform::Place(new QCheckBox(QStringLiteral("ポイント表示"), GroupBox3), "CheckBox2", 8, 40, 150, 18);
    CheckBox3 = platform::Place(new QCheckBox(QStringLiteral("RMS表示"), GroupBox3), "CheckBox3", 8, 60, 150, 18);
    CheckBox6 = platform::Place(new QCheckBox(QStringLiteral("P-V値表示"), GroupBox3), "CheckBox6", 8, 80, 150, 18);
    CheckBox1->setChecked(true);
    CheckBox2->setChecked(true);
    CheckBox3->setVisible(full);
    CheckBox6->setVisible(full);
    GroupBox3->setVisible(full);

    GroupBox4 = platform::Place(new QGroupBox(QStringLiteral("スケール"), GroupBox2), "GroupBox4", 330, 12, 80, 100);
    Button5 = platform::Place(new QPushButton(QStringLiteral("+"), GroupBox4), "Button5", 8, 18, 28, 22);
    Button6 = platform::Place(new QPushButton(QStringLiteral("-"), GroupBox4), "Button6", 40, 18, 28, 22);
    RadioButton3 =
        platform::Place(new QRadioButton(QStringLiteral("ピクセル"), GroupBox4), "RadioButton3", 8, 46, 70, 18);
    RadioButton4 = platform::Place(new QRadioButton(QStringLiteral("秒角"), GroupBox4), "RadioButton4", 8, 70, 70, 18);
    RadioButton3->setChecked(true);

    GroupBox5 = platform::Place(new QGroupBox(QStringLiteral("座標"), GroupBox2), "GroupBox5", 416, 12, 90, 100);
    RadioButton5 =
        platform::Place(new QRadioButton(QStringLiteral("X-Y座標"), GroupBox5), "RadioButton5", 8, 20, 80, 18);
    RadioButton6 = platform::Place(new QRadioButton(QStringLiteral("X方向"), GroupBox5), "RadioButton6", 8, 44, 80, 18);
    RadioButton7 = platform::Place(new QRadioButton(QStringLiteral("Y方向"), GroupBox5), "RadioButton7", 8, 68, 80, 18);
    RadioButton5->setChecked(true);
    CheckBox4 = platform::Place(new QCheckBox(QStringLiteral("X フラット化"), GroupBox5), "CheckBox4", 8, 86, 80, 14);
    CheckBox5 = platform::Place(new QCheckBox(QStringLiteral("Y フラット化"), GroupBox5), "CheckBox5", 8, 86, 80, 14);
    CheckBox4->setVisible(full);
    CheckBox5->setVisible(full);

    Button7 = platform::Place(new QPushButton(QStringLiteral("高度な設定"), GroupBox2), "Button7", 250, 84, 75, 24);
    Button7->setVisible(full);
    ListBox2 = platform::Place(new QListWidget(this), "ListBox2", 0, 0, 10, 10);
    ListBox2->hide();

    GroupBox6 = platform::Place(new QGroupBox(QStringLiteral("ファイル"), this), "GroupBox6", 8, 8, 145, 321);
    Label18 = platform::Place(new QLabel(QStringLiteral("ファイル数 0 "), GroupBox6), "Label18", 8, 18, 130, 16);
    ListBox1 = platform::Place(new QListWidget(GroupBox6), "ListBox1", 8, 38, 129, 180);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    Button1 = platform::Place(new QPushButton(QStringLiteral("開く"), GroupBox6), "Button1", 8, 226, 60, 25);
    Button2 = platform::Place(new QPushButton(QStringLiteral("削除"), GroupBox6), "Button2", 77, 226, 60, 25);
    Button4 = platform::Place(new QPushButton(QStringLiteral("計測開始"), GroupBox6), "Button4", 8, 258, 129, 28);
    ProgressBar1 = platform::Place(new QProgressBar(GroupBox6), "ProgressBar1", 8, 294, 129, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    connect(Button1, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button4Click(); }));
    connect(Button5, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button6Click(); }));
    connect(Button7, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button7Click(); }));
    connect(Button8, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button8Click(); }));
    connect(ListBox1, &QListWidget::itemClicked, this, platform::GuardedSlot([this] { ListBox1Click(); }));
    // The highlight also follows a selection moved by the keyboard; a mouse press is followed
    // by its click.
    connect(ListBox1, &QListWidget::currentRowChanged, this, platform::GuardedSlot([this] {
                if (QApplication::mouseButtons() == Qt::NoButton) ListBox1Click();
            }));
    connect(UpDown1, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown1Click(); }));
    connect(UpDown2, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown2Click(); }));
    connect(UpDown3, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown3Click(); }));
    connect(Edit1, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit1Change(); }));
    connect(Edit2, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit2Change(); }));
    connect(Edit3, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit3Change(); }));
    for (QRadioButton* scale : {RadioButton3, RadioButton4})
        connect(scale, &QRadioButton::clicked, this, platform::GuardedSlot([this] {
                    RefreshStatistics();
                    RefreshGraph();
                }));
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{RadioButton5, RadioButton6, RadioButton7, CheckBox1, CheckBox2,
                                                 CheckBox3, CheckBox4, CheckBox5, CheckBox6})
        connect(b, &QAbstractButton::clicked, this, platform::GuardedSlot([this] { RefreshGraph(); }));

    if (full) placeFullLayout();
    platform::Guarded([this] { RefreshGraph(); });
}

void TTrack::placeFullLayout() {
    // The results panel and the graph kinds lie over the graph in the built layout, where
    // they are hidden: here they go to the right of it and the window widens. Every control
    // stays inside its group's frame and below the group's title (up to 24 pixels with a
    // Japanese desktop font), with room for the figures in the bold FWHM label and for the
    // flattening boxes under the coordinate choices, which makes the parameter group taller.
    constexpr int kTitle = 24;
    setFixedSize(736, 500);
    GroupBox1->setGeometry(528, 8, 200, 321);
    int y = kTitle;
    for (QLabel* label : {Label16, Label7, Label8, Label9, Label17, Label10, Label11}) {
        label->setGeometry(8, y, 184, 18);
        y += label == Label9 ? 28 : 20;
    }
    Label12->setGeometry(8, y + 8, 184, 22);
    GroupBox3->setGeometry(528, 336, 200, 156);
    y = kTitle;
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox6}) {
        box->setGeometry(8, y, 184, 20);
        y += 20;
    }
    GroupBox6->setGeometry(8, 8, 145, 321);
    Label18->setGeometry(8, kTitle, 130, 18);
    ListBox1->setGeometry(8, kTitle + 18, 129, 220 - kTitle - 18);

    GroupBox2->setGeometry(8, 336, 513, 156);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, Edit1, UpDown1, Label4, Label2, Edit2, UpDown2, Label5,
                                                      Label3, Edit3, UpDown3, Label6, Label19, Label13, Label14})
        w->move(w->x(), w->y() + 4);
    Button7->setGeometry(180, 112, 80, 26);
    GroupBox4->setGeometry(316, kTitle, 84, 104);
    Button5->move(8, kTitle + 2);
    Button6->move(42, kTitle + 2);
    RadioButton3->setGeometry(8, kTitle + 28, 72, 20);
    RadioButton4->setGeometry(8, kTitle + 50, 72, 20);
    GroupBox5->setGeometry(404, kTitle, 106, 128);
    y = kTitle;
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{RadioButton5, RadioButton6, RadioButton7, CheckBox4, CheckBox5}) {
        b->setGeometry(5, y, 98, 20);
        y += b == RadioButton7 ? 21 : 20;
    }
}

void TTrack::connectWindows(TMainForm* mainForm, TTrackAd* settings) {
    mainForm_ = mainForm;
    settings_ = settings;
    if (settings_) settings_->setTrackingState(&state);
}

TrackingParameters TTrack::parameters() const {
    TrackingParameters p;
    p.focalLength = text(Edit1);
    p.pixelSize = text(Edit2);
    p.interval = text(Edit3);
    p.multiplier = settings_ ? text(settings_->Edit2) : std::string("1.000");
    p.flattenX = CheckBox4->isChecked();
    p.flattenY = CheckBox5->isChecked();
    p.arcsec = RadioButton4->isChecked();
    return p;
}

GraphOptions TTrack::graphOptions() const {
    GraphOptions o;
    o.kind = RadioButton6->isChecked() ? GraphKind::X : RadioButton7->isChecked() ? GraphKind::Y : GraphKind::XY;
    o.lines = CheckBox1->isChecked();
    o.points = CheckBox2->isChecked();
    o.rms = CheckBox3->isChecked();
    o.peakToValley = CheckBox6->isChecked();
    o.arcsec = RadioButton4->isChecked();
    return o;
}

QStringList TTrack::framePaths() const {
    QStringList paths;
    for (int i = 0; i < ListBox2->count(); ++i) paths << ListBox2->item(i)->text();
    return paths;
}

bool TTrack::RefreshStatistics() {
    try {
        ResultLabels labels = nuvak::RefreshStatistics(state, parameters());
        if (!measured()) {
            TrackingState none;
            labels = nuvak::RefreshStatistics(none, parameters());
        }
        QLabel* targets[] = {Label7, Label8, Label9, Label10, Label11, Label12, Label13, Label14};
        for (int i = 0; i < 8; ++i) targets[i]->setText(QString::fromStdString(labels[i]));
        return true;
    } catch (const TrackingError& e) {
        platform::ui().message(this, QString::fromUtf8(e.what()));
        return false;
    }
}

void TTrack::paint(const GraphScene& scene) {
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    auto colour = [](std::uint32_t c) { return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)); };
    for (const GraphItem& item : scene.items) {
        QPen pen(colour(item.colour));
        pen.setWidth(item.penWidth);
        pen.setStyle(item.dashed ? Qt::DashLine : Qt::SolidLine);
        switch (item.type) {
            case GraphItem::Type::Fill:
                p.fillRect(QRect(QPoint(item.x1, item.y1), QPoint(item.x2 - 1, item.y2 - 1)), colour(item.colour));
                break;
            case GraphItem::Type::Line:
                p.setPen(pen);
                p.drawLine(item.x1, item.y1, item.x2, item.y2);
                break;
            case GraphItem::Type::Text:
                p.setPen(pen);
                p.drawText(QPoint(item.x1, item.y1 + p.fontMetrics().ascent()), QString::fromStdString(item.text));
                break;
            case GraphItem::Type::Ellipse:
                p.setPen(pen);
                p.setBrush(colour(item.fill));
                p.drawEllipse(QRect(QPoint(item.x1, item.y1), QPoint(item.x2 - 1, item.y2 - 1)));
                p.setBrush(Qt::NoBrush);
                break;
        }
    }
    p.end();
    Image1->setRaster(platform::FromQImage(image));
}

void TTrack::RefreshGraph() {
    RefreshStatistics();
    TrackingState none;
    none.GraphZoom = state.GraphZoom;
    lastScene_ = BuildGraph(measured() ? state : none, parameters(), graphOptions());
    paint(lastScene_);
    if (lastScene_.message) platform::ui().message(this, QString::fromStdString(*lastScene_.message));
}

void TTrack::clearFrameList() {
    Label18->setText(QStringLiteral("ファイル数 0"));
    ListBox1->clear();
    ListBox2->clear();
    state.FrameCount = 0;
}

void TTrack::Button1Click() {
    platform::FileDialogRequest request{QString(), kOpenFilter, 1, true, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (r.accepted) {
        state.clearFrames();
        records_.clear();
        RefreshStatistics();
        RefreshGraph();
        ListBox1->clear();
        ListBox2->clear();
        for (const QString& file : r.files) {
            // Full paths: the results file names the first frame's folder.
            ListBox2->addItem(QFileInfo(file).absoluteFilePath());
            ListBox1->addItem(QFileInfo(file).fileName());
        }
    }
    Label18->setText(QStringLiteral("ファイル数 ") + QString::number(ListBox1->count()));
    state.FrameCount = ListBox1->count();
    if (state.FrameCount == 1) {
        platform::ui().message(this, u8(msg::kTrackTwoOrMore));
        clearFrameList();
    } else if (state.FrameCount > kMaxFrames) {
        platform::ui().message(this, u8(msg::kTrackAtMost200));
        clearFrameList();
    }
}

void TTrack::Button2Click() {
    if (state.FrameCount <= 2) return;
    const int i = ListBox1->currentRow();
    if (i < 0 || !ListBox1->currentItem() || !ListBox1->currentItem()->isSelected()) return;
    delete ListBox1->takeItem(i);
    delete ListBox2->takeItem(i);
    state.deleteFrame(i);
    if (std::size_t(i) < records_.size()) records_.erase(records_.begin() + i);
    Label18->setText(QStringLiteral("ファイル数 ") + QString::number(state.FrameCount));
    RefreshStatistics();
    RefreshGraph();
}

void TTrack::Button3Click() {
    if (state.FrameCount == 0 || !measured()) {
        platform::ui().message(this, u8(msg::kTrackMeasureFirst));
        return;
    }
    platform::FileDialogRequest request{QString(), kSaveFilter, 1, false, false};
    const platform::FileDialogResult r = platform::ui().saveDialog(this, request);
    if (!r.accepted || r.files.isEmpty()) return;
    const std::string target = ChangeFileExt(r.files.first().toStdString(), ".txt");
    if (QFileInfo::exists(QString::fromStdString(target)) && !platform::ui().confirm(this, u8(msg::kOverwriteQuestion)))
        return;
    std::vector<std::string> names;
    names.reserve(std::size_t(ListBox1->count()));
    for (int i = 0; i < ListBox1->count(); ++i) names.push_back(ListBox1->item(i)->text().toStdString());
    const QStringList paths = framePaths();
    const std::string body =
        ResultsFileText(state, names, paths.isEmpty() ? std::string() : paths.first().toStdString());
    const std::string bytes = platform::ToCodePage932(body);
    WriteFileAtomically(target, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The tracking report of the current run as an HTML page: the listed frames measured again
// with the settings the run used, on the scale of the labels; then the page opens in the
// system's browser.
void TTrack::Button8Click() {
    // After a run that stopped at a frame too large for it, the report measures the frames on
    // its own (it takes frames of any size) with the settings that run was given.
    const bool ownRun = state.FrameCount > 0 && !measured() && tooLargeRun_;
    if (!ownRun && (state.FrameCount == 0 || !measured())) {
        platform::ui().message(this, u8(msg::kTrackMeasureFirst));
        return;
    }
    const MeasureSettings settings = ownRun ? *tooLargeRun_ : runSettings_;
    if (!RefreshStatistics()) return;  // a parameter out of range: its message was shown
    platform::FileDialogRequest request{QString(), kReportFilter, 1, false, false};
    const platform::FileDialogResult r = platform::ui().saveDialog(this, request);
    if (!r.accepted || r.files.isEmpty()) return;
    const std::string target = ChangeFileExt(r.files.first().toStdString(), ".html");
    if (QFileInfo::exists(QString::fromStdString(target)) && !platform::ui().confirm(this, u8(msg::kOverwriteQuestion)))
        return;
    std::vector<std::string> frames;
    for (const QString& p : framePaths()) frames.push_back(p.toStdString());
    frames.resize(std::min<std::size_t>(frames.size(), std::size_t(state.FrameCount)));
    const TrackingParameters p = parameters();
    ReportOptions options;
    options.arcsecPerPixel = LabelArcsecPerPixel(p);
    options.scaleSource = "window";
    options.intervalS = ParseInt(p.interval);
    platform::BarProgress progress(ProgressBar1);
    std::string page;
    if (!platform::RunWithBar<TrackingError, FileError>(this, ProgressBar1, [&] {
            // The run's own records when they cover the list; a night's pass after a run that
            // stopped.
            const bool kept = !ownRun && records_.size() == frames.size();
            page = ReportHtml(
                ComputeReport(kept ? records_ : MeasurePass(frames, settings, PassScope::Night, &progress), options));
        }))
        return;
    ProgressBar1->setValue(0);
    WriteFileAtomically(target, std::span(reinterpret_cast<const std::uint8_t*>(page.data()), page.size()));
    // Without a browser the page would be written without a word: say where it is.
    if (!platform::ui().openUrl(QUrl::fromLocalFile(QString::fromStdString(target)).toString()))
        platform::ui().message(this, QString::fromStdString(FillMessage(msg::kTrackReportWritten, target)));
}

void TTrack::pickStar() {
    show();
    platform::ui().message(this, u8(msg::kTrackStarting));
    Button4Click();
}

void TTrack::Button4Click() {
    state.FrameCount = ListBox1->count();
    if (state.FrameCount == 0) {
        platform::ui().message(this, u8(msg::kTrackListFiles));
        return;
    }
    state.MeanX = state.MeanY = 0.0;
    if (state.StarPickState == 0) {
        showFirstFramePreview();
    } else {
        RunMeasurementNow();
    }
}

void TTrack::showFirstFramePreview() {
    // The frame is read before anything changes: a frame that cannot be shown leaves the
    // window as it was, with the reader's message.
    const std::string path = ListBox2->item(0)->text().toStdString();
    OpenedFits f = OpenFitsDocument(path, &std::cout, 4);
    hide();
    f.document.Image1 = f.document.Image;
    if (mainForm_) mainForm_->showDocument(std::move(f.document));
    state.StarPickState = -1;
    platform::ui().message(this, u8(msg::kTrackPickStar));
    if (mainForm_) mainForm_->enableZoomButtons(false);
}

void TTrack::RunMeasurementNow() {
    std::vector<std::string> frames;
    for (const QString& p : framePaths()) frames.push_back(p.toStdString());
    frames.resize(std::min<std::size_t>(frames.size(), std::size_t(state.FrameCount)));
    const MeasureSettings settings = settings_ ? settings_->settings() : MeasureSettings{};
    platform::BarProgress progress(ProgressBar1);
    // Until the run completes, the entries do not all belong to the listed frames.
    state.MeasuredCount = 0;
    tooLargeRun_.reset();
    records_.clear();
    std::vector<ReportFrame> records;
    if (!platform::RunWithBar<TrackingError, FileError>(this, ProgressBar1, [&] {
            try {
                records = MeasurePass(frames, settings, PassScope::RunWithReport, &progress);
                if (const int stop = FillRunState(records, settings, int(frames.size()), state); stop >= 0)
                    std::rethrow_exception(records[std::size_t(stop)].run.stop);
            } catch (const FrameSizeError& e) {
                if (e.kind == FrameSizeError::Kind::TooLarge) tooLargeRun_ = settings;
                throw;
            }
        }))
        return;
    records_ = std::move(records);
    state.MeasuredCount = state.FrameCount;
    runSettings_ = settings;
    ProgressBar1->setValue(0);
    RefreshStatistics();
    RefreshGraph();
    state.StarPickState = 0;
}

void TTrack::Button5Click() {
    state.GraphZoom *= 2;
    RefreshGraph();
    Label15->setText(QString::fromStdString(GraphZoomText(state.GraphZoom)));
}

void TTrack::Button6Click() {
    if (!(state.GraphZoom > 0.0625)) return;
    state.GraphZoom *= 0.5;
    RefreshGraph();
    Label15->setText(QString::fromStdString(GraphZoomText(state.GraphZoom)));
}

void TTrack::Button7Click() {
    if (settings_) platform::ui().showModal(settings_);
}

void TTrack::ListBox1Click() {
    if (state.FrameCount == 0) return;
    RefreshGraph();
    const int i = ListBox1->currentRow();
    if (i < 0 || i >= state.FrameCount || !measured()) return;
    AddFrameHighlight(lastScene_, state, graphOptions(), i);
    paint(lastScene_);
}

void TTrack::UpDown1Click() {
    Edit1->setText(QString::number(UpDown1->position()));
    RefreshStatistics();
}

void TTrack::UpDown2Click() {
    Edit2->setText(QString::fromStdString(FormatGeneral(UpDown2->position() * 0.1)));
    RefreshStatistics();
}

void TTrack::UpDown3Click() {
    Edit3->setText(QString::number(UpDown3->position()));
    RefreshStatistics();
}

void TTrack::Edit1Change() {
    const int v = ParseInt(text(Edit1));
    if (v > 1 && v < 30001) {
        UpDown1->setPosition(v);
        RefreshStatistics();
    }
}

void TTrack::Edit2Change() {
    const double v = ParseReal(text(Edit2));
    if (v > 0.1 && v < 100) {
        UpDown2->setPosition(int(std::trunc(v * 10)));
        RefreshStatistics();
    }
}

void TTrack::Edit3Change() {
    const int v = ParseInt(text(Edit3));
    if (v > 1 && v < 1000) {
        UpDown3->setPosition(v);
        RefreshStatistics();
    }
}

}  // namespace nuvak
