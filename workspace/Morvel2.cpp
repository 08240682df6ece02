#include "workspace/Morvel2.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <iostream>
#include <optional>
#include <vector>

#include "core/blooming.h"
#include "core/display.h"
#include "core/error.h"
#include "core/format.h"
#include "core/image_files.h"
#include "core/open.h"
#include "imageops/Blur1.h"
#include "imageops/Comacorrect1.h"
#include "imageops/Gamma1.h"
#include "imageops/Gmcpanel1.h"
#include "imageops/Sabachie1.h"
#include "imageops/corrections.h"
#include "imageops/filters.h"
#include "imageops/geometry.h"
#include "imageops/tone.h"
#include "platform/controls.h"
#include "platform/icon.h"
#include "platform/services.h"
#include "resources/messages.h"
#include "rgbcomp/Rgbcomp1.h"
#include "stacking/Comp1.h"
#include "stacking/Mozaiccomp.h"
#include "stacking/SpDraw.h"
#include "stacking/composite.h"
#include "stacking/mosaic.h"
#include "stacking/separate.h"
#include "stacking/spectrum.h"
#include "tracking/Tracking.h"
#include "workspace/Child.h"
#include "workspace/Startup.h"
#include "workspace/viewing.h"

namespace nuvak {

namespace {

const QString kOpenTitle = QStringLiteral("Open an Image for Viewing");
const QString kOpenFilter = QStringLiteral(
    "ビットマップ(*.bmp)|*.bmp|フィッツ(*.fit,*.fts,*.fits)|*.fts;*.fit;*.fits;*.fz|JPEG(*.jpg,*.jpeg)|*.jpg;*.jpeg|"
    "PGM(*.pgm)|*.pgm");
const QString kSaveTitle = QStringLiteral("Save an Image");
const QString kSaveFilter =
    QStringLiteral("ビットマップ(*.bmp)|*.bmp|フィッツ(*.fts,*.fit,*.fits)|*.fts;*.fit;*.fits|JPEG|*.jpg");

const QString kReadoutStart = QStringLiteral("( 0 , 0 ) ");

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

// Brings an image window to the front and makes it the active one.
void BringToFront(TChild* child) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(child->parentWidget())) frame->mdiArea()->setActiveSubWindow(frame);
}

// Shows the new window of a composite or a mosaic, with the tool bar set for a picture at
// 100 % and levels 255 and 0.
void ShowNewPicture(TMainForm& form, ImageDocument document) {
    form.addChild(std::move(document));
    form.Edit1->setText(QStringLiteral("100.0%"));
    form.Edit2->setText(QStringLiteral("255"));
    form.Edit3->setText(QStringLiteral("0"));
    form.UpDown1->setPosition(255);
    form.UpDown2->setPosition(0);
}

// The captions and documents of the image windows, in the order they were opened: what the
// composite and mosaic dialogs list and their commands read.
struct OpenPictures {
    QStringList captions;
    std::vector<const ImageDocument*> documents;
};
OpenPictures PicturesOf(const QList<TChild*>& windows) {
    OpenPictures out;
    for (TChild* c : windows) {
        out.captions << fromStd(c->document().caption);
        out.documents.push_back(&c->document());
    }
    return out;
}

}  // namespace

QString VersionMessage() { return QString::fromUtf8(msg::kVersion); }

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), mdi_(new QMdiArea) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Nuvak"));
    QApplication::setWindowIcon(platform::ProgramIcon());
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    resize(925, 712);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar();
    buildStatusStrip();
    mdi_->setObjectName(QStringLiteral("ClientArea"));
    mdi_->setBackground(QColor(128, 128, 128));
    // Image windows may be larger than the workspace: it scrolls to every part of them.
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(SpeedBar);
    layout->addWidget(mdi_, 1);
    layout->addWidget(Panel1);
    setCentralWidget(central);
    buildMenus();

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) { subWindowActivated(w); });

    // Centred on the screen, each half truncated.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.width() / 2 - width() / 2, s.height() / 2 - height() / 2);
    }
    Timer1->start();
}

TMainForm::~TMainForm() {
    // The image windows go after the tool bar: their close must not touch the readout then.
    for (TChild* c : children()) c->disconnect(this);
}

void TMainForm::buildToolBar() {
    SpeedBar = new QWidget;
    SpeedBar->setObjectName(QStringLiteral("SpeedBar"));
    SpeedBar->setFixedHeight(33);
    QWidget* bar = SpeedBar;

    OpenButton = platform::Place(new QToolButton(bar), "OpenButton", 8, 5, 22, 23);
    OpenButton->setAutoRaise(true);
    OpenButton->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    // Only the short hint before the bar of "Open|" is a tool tip.
    OpenButton->setToolTip(QStringLiteral("Open"));
    SaveButton = platform::Place(new QToolButton(bar), "SaveButton", 30, 5, 24, 23);
    SaveButton->setAutoRaise(true);
    SaveButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SaveButton->setToolTip(QStringLiteral("Save"));

    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(12);
    Button1 = platform::Place(new QPushButton(QStringLiteral("+"), bar), "Button1", 72, 5, 24, 24);
    Button2 = platform::Place(new QPushButton(QStringLiteral("-"), bar), "Button2", 96, 5, 24, 24);
    Button1->setFont(bold);
    Button2->setFont(bold);
    Edit1 = platform::Place(new QLineEdit(bar), "Edit1", 120, 6, 57, 21);
    Button3 = platform::Place(new QPushButton(QStringLiteral("H"), bar), "Button3", 200, 2, 30, 15);
    Button4 = platform::Place(new QPushButton(QStringLiteral("L"), bar), "Button4", 200, 17, 30, 15);
    Label5 = platform::Place(new QLabel(QStringLiteral("Min.="), bar), "Label5", 234, 8);
    Edit3 = platform::Place(new QLineEdit(QStringLiteral("0"), bar), "Edit3", 264, 6, 57, 21);
    UpDown2 = platform::Place(new platform::UpDown(bar), "UpDown2", 320, 2, 15, 30);
    Label6 = platform::Place(new QLabel(QStringLiteral("Max.="), bar), "Label6", 344, 8);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("0"), bar), "Edit2", 376, 6, 57, 21);
    UpDown1 = platform::Place(new platform::UpDown(bar), "UpDown1", 432, 2, 15, 30);
    Label2 = platform::Place(new QLabel(kReadoutStart, bar), "Label2", 480, 10);
    Label2->setMinimumWidth(200);
    Label1 = platform::Place(new QLabel(QStringLiteral("R = , G = , B = "), bar), "Label1", 696, 10);
    Label1->hide();

    // The arrow pairs cover every level a 16-bit image can have, so applying a level never
    // changes it.
    UpDown1->setRange(0, 65535);
    UpDown2->setRange(-65535, 65535);
    UpDown1->setIncrement(10);
    UpDown2->setIncrement(10);

    connect(OpenButton, &QToolButton::clicked, this, platform::GuardedSlot([this] { Open1Click(); }));
    connect(SaveButton, &QToolButton::clicked, this, platform::GuardedSlot([this] { SaveButtonClick(); }));
    connect(Button1, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button33Click(); }));
    connect(Button4, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button44Click(); }));
    connect(Edit2, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit2Change(); }));
    connect(Edit3, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit3Change(); }));
    connect(UpDown1, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown1Click(); }));
    connect(UpDown2, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown2Click(); }));
}

void TMainForm::buildStatusStrip() {
    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(27);
    QFont gothic(QStringLiteral("ＭＳ ゴシック"));
    Panel1->setFont(gothic);
    ProgressBar1 = platform::Place(new platform::Gauge(Panel1), "ProgressBar1", 48, 7, 200, 15);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    Label4 = platform::Place(new QLabel(QStringLiteral("Memory"), Panel1), "Label4", 304, 8);
    ProgressBar2 = platform::Place(new platform::Gauge(Panel1), "ProgressBar2", 352, 7, 100, 15);
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setValue(0);
    Label3 = platform::Place(new QLabel(QStringLiteral("    %"), Panel1), "Label3", 464, 8);
    Label3->setMinimumWidth(60);
    Label3->setStyleSheet(QStringLiteral("color: green"));
    Label7 = platform::Place(new QLabel(QStringLiteral("Image Depth = "), Panel1), "Label7", 560, 8);
    Label8 = platform::Place(new QLabel(QStringLiteral("Image Size = "), Panel1), "Label8", 712, 8);
    Label7->hide();
    Label8->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, platform::GuardedSlot([this] { Timer1Timer(); }));
}

void TMainForm::buildMenus() {
    const bool full = CurrentConfiguration() == Configuration::Full;
    QMenuBar* bar = menuBar();
    // shown: visible as built; offered: visible in the full configuration too. An item without
    // a command is never offered.
    auto item = [this, full](QMenu* menu, const char* name, const QString& caption, bool shown = true,
                             bool offered = true) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setVisible(shown || (full && offered));
        return a;
    };
    auto separator = [full](QMenu* menu, const char* name, bool shown = true) {
        QAction* a = menu->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        a->setVisible(shown || full);
        return a;
    };
    auto submenu = [bar](const char* name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    constexpr bool kHidden = false, kNoCommand = false;

    File1 = submenu("File1", QStringLiteral("ファイル(&F)"));
    item(File1, "N19", QStringLiteral("新規(&N)"), kHidden, kNoCommand);
    separator(File1, "N20", kHidden)->setVisible(false);  // it sets off N19 alone
    Open1 = item(File1, "Open1", QStringLiteral("開く(&O)"));
    Save1 = item(File1, "Save1", QStringLiteral("保存(&A)"), kHidden);
    item(File1, "Save2", QStringLiteral("上書き保存(&S)"), kHidden, kNoCommand);
    separator(File1, "N10");
    Exit1 = item(File1, "Exit1", QStringLiteral("終了(&X)"));

    // Image editing and image processing: built hidden and disabled; the full configuration
    // shows and enables them, without the items that have no command.
    E1 = submenu("E1", QStringLiteral("画像編集(&E)"));
    item(E1, "N1", QStringLiteral("ネガ反転(&N)"), !full, kNoCommand);
    separator(E1, "N2");
    item(E1, "M1", QStringLiteral("左右反転(&M)"));
    item(E1, "R1", QStringLiteral("上下反転(&U)"));
    item(E1, "R3", QStringLiteral("回転(&R)"));
    item(E1, "R4", QStringLiteral("リサンプリング(&P)"), !full, kNoCommand);
    separator(E1, "N3");
    item(E1, "RGB1", QStringLiteral("RGB合成(&B)"));
    item(E1, "RGB2", QStringLiteral("RGB分解(&V)"));
    separator(E1, "N11");
    item(E1, "C1", QStringLiteral("コンポジット(&C)"));
    item(E1, "M2", QStringLiteral("モザイク合成(&S)"));
    separator(E1, "N12")->setVisible(!full);  // it sets off T1 alone
    item(E1, "T1", QStringLiteral("背景傾斜(&T)"), !full, kNoCommand);

    P2 = submenu("P2", QStringLiteral("画像処理(&P)"));
    item(P2, "E2", QStringLiteral("エッジ強調(&E)"), !full, kNoCommand);
    item(P2, "N4", QStringLiteral("ぼかし(&B)"));
    item(P2, "H1", QStringLiteral("ハイパス効果(&H)"));
    item(P2, "L1", QStringLiteral("ローパス効果(&L)"));
    separator(P2, "N13");
    item(P2, "N5", QStringLiteral("ブルーミング除去(&R)"));
    separator(P2, "N14");
    item(P2, "T2", QStringLiteral("トーンカーブ(&T)"), !full, kNoCommand);
    item(P2, "N6", QStringLiteral("ガンマ(&M)"));
    item(P2, "N15", QStringLiteral("画像処理パネル"), !full, kNoCommand);
    separator(P2, "N16");
    item(P2, "N7", QStringLiteral("ソラリゼーション(&S)"));
    item(P2, "N8", QStringLiteral("サバチエ効果(&H)"));
    separator(P2, "N17");
    item(P2, "N9", QStringLiteral("コマコレクト処理(&K)"));
    item(P2, "P1", QStringLiteral("ガイドミスキャンセラ(&G)"));
    item(P2, "C2", QStringLiteral("P.R.C.(&C)"), !full, kNoCommand);
    for (QMenu* m : {E1, P2}) {
        m->menuAction()->setVisible(full);
        m->setEnabled(full);
        m->menuAction()->setEnabled(full);
    }

    K1 = submenu("K1", QStringLiteral("計測(&K)"));
    item(K1, "S1", QStringLiteral("測光（恒星）(&S)"), kHidden, kNoCommand);
    item(K1, "R2", QStringLiteral("測光（流星）(&R)"), kHidden, kNoCommand);
    P3 = item(K1, "P3", QStringLiteral("スペクトル(&P)"), kHidden);
    T3 = item(K1, "T3", QStringLiteral("追尾計測(&T)"));

    Window1 = submenu("Window1", QStringLiteral("ウィンドウ(&W)"));
    A1 = item(Window1, "A1", QStringLiteral("すべてを閉じる(&A)"));
    V1 = item(Window1, "V1", QStringLiteral("バージョン(&V)"));

    Help1 = submenu("Help1", QStringLiteral("ヘルプ(&H)"));
    OstrelH1 = item(Help1, "OstrelH1", QStringLiteral("Ostrelヘルプ(&H)"));
    Help1->menuAction()->setVisible(full);

    // Every item bound to a command; in the full configuration an offered item whose command
    // is not bound yet is shown greyed.
    auto bind = [this](const char* name, void (TMainForm::*command)()) {
        if (QAction* a = findChild<QAction*>(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, platform::GuardedSlot([this, command] { (this->*command)(); }));
            a->setProperty("bound", true);
        }
    };
    bind("Open1", &TMainForm::Open1Click);
    bind("Save1", &TMainForm::Save1Click);
    bind("Exit1", &TMainForm::Exit1Click);
    bind("T3", &TMainForm::T3Click);
    bind("A1", &TMainForm::A1Click);
    bind("V1", &TMainForm::V1Click);
    bind("OstrelH1", &TMainForm::OstrelH1Click);
    bind("RGB1", &TMainForm::RGB1Click);
    bind("RGB2", &TMainForm::RGB2Click);
    bind("M1", &TMainForm::M1Click);
    bind("R1", &TMainForm::R1Click);
    bind("R3", &TMainForm::R3Click);
    bind("N4", &TMainForm::N4Click);
    bind("H1", &TMainForm::H1Click);
    bind("L1", &TMainForm::L1Click);
    bind("N6", &TMainForm::N6Click);
    bind("N7", &TMainForm::N7Click);
    bind("N8", &TMainForm::N8Click);
    bind("N5", &TMainForm::N5Click);
    bind("N9", &TMainForm::N9Click);
    bind("P1", &TMainForm::P1Click);
    bind("C1", &TMainForm::C1Click);
    bind("M2", &TMainForm::M2Click);
    bind("P3", &TMainForm::P3Click);
    if (full)
        for (QMenu* m : {E1, P2, K1})
            for (QAction* a : m->actions())
                if (!a->isSeparator() && a->isVisible()) a->setEnabled(a->property("bound").toBool());
}

TChild* TMainForm::activeChild() const {
    QMdiSubWindow* w = mdi_->activeSubWindow();
    return w ? qobject_cast<TChild*>(w->widget()) : nullptr;
}

QList<TChild*> TMainForm::children() const {
    QList<TChild*> out;
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder))
        if (auto* c = qobject_cast<TChild*>(w->widget())) out << c;
    return out;
}

TChild* TMainForm::addChild(ImageDocument document) {
    auto* child = new TChild(this, std::move(document));
    QMdiSubWindow* frame = mdi_->addSubWindow(child);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    connect(child, &QObject::destroyed, frame, [frame] { frame->close(); });
    connect(child, &QObject::destroyed, this, [this, child] {
        if (readoutChild_ != child) return;
        readoutChild_ = nullptr;
        Label2->setText(kReadoutStart);
    });
    child->show();
    child->fitToContent();
    child->keepCaptionInView();
    mdi_->setActiveSubWindow(frame);
    return child;
}

TChild* TMainForm::showDocument(ImageDocument document) {
    const int max = document.MAX, min = document.MIN;
    TChild* child = addChild(std::move(document));
    Edit1->setText(QStringLiteral("100.0%"));
    Edit2->setText(QString::number(max));
    Edit3->setText(QString::number(min));
    return child;
}

void TMainForm::showZoom(const QString& text) { Edit1->setText(text); }

void TMainForm::enableZoomButtons(bool on) {
    Button1->setEnabled(on);
    Button2->setEnabled(on);
}

void TMainForm::showReadout(const TChild* child, const QString& text) {
    readoutChild_ = child;
    Label2->setText(text);
}

void TMainForm::subWindowActivated(QMdiSubWindow* window) {
    if (!window) return;
    auto* child = qobject_cast<TChild*>(window->widget());
    if (!child) return;
    platform::Guarded([&] {
        child->FormActivate();
        // The level fields follow the active window.
        setLevelFields(child->document().MAX, child->document().MIN);
    });
}

void TMainForm::setLevelFields(int max, int min) {
    Edit2->setText(QString::number(max));
    Edit3->setText(QString::number(min));
}

void TMainForm::Open1Click() {
    platform::FileDialogRequest request{kOpenTitle, kOpenFilter, openFilterIndex, false, true};
    const platform::FileDialogResult r = platform::ui().openDialog(this, request);
    if (!r.accepted) return;
    openFilterIndex = r.filterIndex;
    const auto kind = static_cast<FileKind>(std::clamp(r.filterIndex, 1, 4));
    // The Netpbm entry takes the dialog's single file name; the others every selected file.
    QStringList files = r.files;
    if (kind == FileKind::Pgm && files.size() > 1) files = files.mid(0, 1);
    for (const QString& file : files) {
        // The document is complete before a window exists: a refused file leaves no window.
        OpenedDocument opened = OpenImageFile(file.toStdString(), kind, &std::cout);
        const int max = opened.document.MAX, min = opened.document.MIN;
        addChild(std::move(opened.document));
        Edit1->setText(QStringLiteral("100.0%"));
        setLevelFields(max, min);
        UpDown1->setPosition(max);
        UpDown2->setPosition(min);
    }
}

void TMainForm::SaveButtonClick() {
    TChild* child = activeChild();
    if (!child) return;
    platform::FileDialogRequest request{kSaveTitle, kSaveFilter, saveFilterIndex, false, false};
    const platform::FileDialogResult r = platform::ui().saveDialog(this, request);
    if (!r.accepted || r.files.isEmpty()) return;
    saveFilterIndex = r.filterIndex;
    if (r.filterIndex == 2) return;  // the FITS entry writes nothing
    const auto format = r.filterIndex == 1 ? DisplayFormat::Bmp : DisplayFormat::Jpeg;
    const std::string target = DisplayFileName(r.files.first().toStdString(), format);
    if (QFileInfo::exists(QString::fromStdString(target)) &&
        !platform::ui().confirm(this, QString::fromUtf8(msg::kOverwriteQuestion)))
        return;
    WriteDisplay(child->document(), target, format);
    if (format == DisplayFormat::Bmp) {
        child->document().caption = FileNameOf(target);
        child->setWindowTitle(fromStd(child->document().caption));
    }
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
    // Closing ends the program: under a running command (its bar turns the event loop) it
    // waits until the command has ended, so no command stops half way with its files open.
    if (platform::DeferCloseWhileRunning(this)) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainForm::A1Click() { mdi_->closeAllSubWindows(); }

void TMainForm::V1Click() { platform::ui().message(this, VersionMessage()); }

void TMainForm::T3Click() {
    if (!trackWindow) return;
    // Opened centred on the main window.
    if (!trackWindow->isVisible()) trackWindow->move(geometry().center() - trackWindow->rect().center());
    trackWindow->show();
}

void TMainForm::RGB1Click() {
    if (rgbWindow) rgbWindow->show();
}

void TMainForm::OstrelH1Click() {
    if (helpWindow) helpWindow->show();
}

void TMainForm::Timer1Timer() {
    const int load = platform::ui().memoryLoad();
    ProgressBar2->setValue(load);
    Label3->setText(fromStd(MemoryLoadText(load)));
}

void TMainForm::zoomTo(TChild* child, double z) {
    ImageDocument& d = child->document();
    d.ZomN = GeneralDecimal(z);
    child->sizePictureToZoom();
    if (d.DemX * z > width()) {
        // Wider than the main window: the image window takes the client width less a margin
        // (the width serves for both sides) and scrolls.
        if (auto* frame = qobject_cast<QMdiSubWindow*>(child->parentWidget()))
            frame->resize(width() - 20, width() - 60);
    } else {
        child->fitToContent();
    }
    child->keepCaptionInView();
    Edit1->setText(fromStd(ZoomPercentText(z)));
}

void TMainForm::Button1Click() {
    TChild* child = activeChild();
    if (!child) return;
    if (const auto z = ZoomIn(child->document().ZomN)) zoomTo(child, *z);
}

void TMainForm::Button2Click() {
    TChild* child = activeChild();
    if (!child) return;
    if (const auto z = ZoomOut(child->document().ZomN)) zoomTo(child, *z);
}

void TMainForm::Edit2Change() {
    TChild* child = activeChild();
    if (!child) return;
    const int v = ParseInt(Edit2->text().toStdString());
    UpDown1->setPosition(v);
    child->document().MAX = v;
}

void TMainForm::Edit3Change() {
    TChild* child = activeChild();
    if (!child) return;
    const int v = ParseInt(Edit3->text().toStdString());
    UpDown2->setPosition(v);
    child->document().MIN = v;
}

void TMainForm::applyStoredLevel(bool upper) {
    TChild* child = activeChild();
    if (!child) return;
    ImageDocument& d = child->document();
    platform::UpDown* arrows = upper ? UpDown1 : UpDown2;
    QLineEdit* field = upper ? Edit2 : Edit3;
    arrows->setPosition(upper ? d.MAX : d.MIN);
    const int level = arrows->position();
    field->setText(QString::number(level));
    (upper ? d.MAX : d.MIN) = level;
    if (d.kind() != ImageKind::Mono16) return;
    const int hi = ParseInt(Edit2->text().toStdString());
    const int lo = ParseInt(Edit3->text().toStdString());
    RenderMono16(d.ImageZm, d.ImageZm2, hi, lo, d.Image);
    child->refreshDisplay();
    Edit2->setText(QString::number(hi));
}

void TMainForm::UpDown1Click() { applyStoredLevel(true); }

void TMainForm::UpDown2Click() { applyStoredLevel(false); }

void TMainForm::brightnessStep(bool raise) {
    TChild* child = activeChild();
    if (!child) return;
    ImageDocument& d = child->document();
    switch (d.kind()) {
        case ImageKind::Colour: {
            const double gain = SteppedGain(d.Contrast, raise);
            d.Image = ApplyGain(d.ImageZm, gain);
            d.Contrast = GeneralDecimal(gain);
            child->refreshDisplay();
            break;
        }
        case ImageKind::Mono16: {
            const int hi = ParseInt(Edit2->text().toStdString());
            const int lo = ParseInt(Edit3->text().toStdString());
            const int upper = SteppedUpperLevel(hi, lo, raise);
            RenderMono16(d.ImageZm, d.ImageZm2, upper, lo, d.Image);
            d.Image1 = d.Image;
            child->refreshDisplay();
            Edit2->setText(QString::number(upper));
            break;
        }
        case ImageKind::PgmColour: break;
    }
}

void TMainForm::Button33Click() { brightnessStep(true); }

void TMainForm::Button44Click() { brightnessStep(false); }

void TMainForm::runImageCommand(const std::function<void(ImageDocument&, Progress&)>& command) {
    TChild* child = activeChild();
    if (!child) return;
    platform::BarProgress progress(ProgressBar1);
    if (platform::RunWithBar<ImageError>(this, ProgressBar1, [&] { command(child->document(), progress); }))
        child->refreshDisplay();
}

void TMainForm::N6Click() {
    if (!activeChild()) return;
    // The dialog comes before the kind test; the gamma read after it is the program's setting.
    platform::ui().showModal(gammaWindow);
    const double gamma = gammaWindow->ReadGamma();
    runImageCommand([gamma](ImageDocument& d, Progress&) { GammaCommand(d, gamma); });
}

void TMainForm::N7Click() {
    runImageCommand([](ImageDocument& d, Progress&) { SolarizeCommand(d); });
}

void TMainForm::N8Click() {
    if (!activeChild()) return;
    platform::ui().showModal(sabattierWindow);
    const double step = ParseReal(sabattierWindow->Edit1->text().toStdString());
    runImageCommand([step](ImageDocument& d, Progress&) { SabattierCommand(d, step); });
}

void TMainForm::N5Click() {
    runImageCommand([](ImageDocument& d, Progress& p) { RemoveBloomingCommand(d, p); });
}

void TMainForm::N9Click() {
    if (!activeChild()) return;
    platform::ui().showModal(comaWindow);
    const int x = ParseInt(comaWindow->Edit1->text().toStdString());
    const int y = ParseInt(comaWindow->Edit2->text().toStdString());
    const double amount = ParseReal(comaWindow->Edit3->text().toStdString());
    runImageCommand([this, x, y, amount](ImageDocument& d, Progress&) {
        // The gamma dialog's text is read, and kept as the setting, for a colour window only.
        if (d.kind() != ImageKind::Colour) return;
        ComaCorrectCommand(d, x, y, amount, gammaWindow->ReadGamma());
    });
}

void TMainForm::P1Click() {
    // The panel comes first, with or without an image window; the command needs one.
    platform::ui().showModal(gmcWindow);
    runImageCommand([this](ImageDocument& d, Progress& p) { GuideMissCancelCommand(d, gmcWindow->settings, p); });
}

void TMainForm::M1Click() {
    runImageCommand([](ImageDocument& d, Progress&) { MirrorCommand(d); });
}

void TMainForm::R1Click() {
    runImageCommand([](ImageDocument& d, Progress&) { FlipCommand(d); });
}

void TMainForm::R3Click() {
    runImageCommand([](ImageDocument& d, Progress& p) { RotateCommand(d, p); });
}

void TMainForm::N4Click() {
    if (!activeChild()) return;
    // The amount the dialog accepts is a setting; the filter itself takes none.
    platform::ui().showModal(blurWindow);
    runImageCommand([](ImageDocument& d, Progress& p) { BlurCommand(d, p); });
}

void TMainForm::H1Click() {
    runImageCommand([](ImageDocument& d, Progress& p) { HighPassCommand(d, p); });
}

void TMainForm::L1Click() {
    runImageCommand([](ImageDocument& d, Progress& p) { LowPassCommand(d, p); });
}

void TMainForm::RGB2Click() {
    TChild* child = activeChild();
    if (!child) return;
    // Blue, green, red: one grey window each, the red one last and in front.
    for (ImageDocument& channel : SeparateRGB(child->document())) {
        addChild(std::move(channel));
        Edit1->setText(QStringLiteral("100.0%"));
        setLevelFields(255, 0);
        UpDown1->setPosition(255);
        UpDown2->setPosition(0);
    }
}

void TMainForm::C1Click() {
    if (!compositeWindow) return;
    const QList<TChild*> windows = children();
    const OpenPictures pictures = PicturesOf(windows);
    compositeWindow->Prepare(pictures.captions);
    platform::ui().showModal(compositeWindow);
    std::optional<ImageDocument> made;
    if (compositeWindow->Chosen()) {
        const std::vector<std::string> listed = compositeWindow->ChosenCaptions();
        const CompositeMethod method = compositeWindow->Method();
        platform::BarProgress progress(ProgressBar1);
        // A listed picture of another size is refused with its message, before any window
        // comes to the front.
        platform::RunWithBar<ImageError>(this, ProgressBar1, [&] {
            made = CompositeCommand(pictures.documents, listed, method, progress);
            if (made)
                for (std::size_t i : ResolveCaptions(pictures.documents, listed)) BringToFront(windows[qsizetype(i)]);
        });
    }
    if (made) ShowNewPicture(*this, std::move(*made));
    platform::EmptyProgress(ProgressBar1);
}

void TMainForm::M2Click() {
    if (!mosaicWindow) return;
    const QList<TChild*> windows = children();
    const OpenPictures pictures = PicturesOf(windows);
    for (TChild* c : windows) BringToFront(c);
    mosaicWindow->Prepare(pictures.captions);
    platform::ui().showModal(mosaicWindow);
    if (mosaicWindow->cancelled) return;
    const int across = ParseInt(mosaicWindow->Edit1->text().toStdString());
    const int down = ParseInt(mosaicWindow->Edit2->text().toStdString());
    std::optional<ImageDocument> made;
    // Counts of 0 or below are refused with their message; nothing is created.
    platform::RunWithBar<ImageError>(this, ProgressBar1,
                                     [&] { made = MosaicCommand(pictures.documents, across, down); });
    if (made) ShowNewPicture(*this, std::move(*made));
}

void TMainForm::P3Click() {
    if (!spectrumWindow) return;
    TChild* child = activeChild();
    spectrumWindow->show();
    if (!child) {
        spectrumWindow->Draw(SpectrumPlot({}));
        return;
    }
    const Raster& picture = child->document().Image;
    const std::vector<double> means = SpectrumColumnMeans(picture);
    spectrumWindow->ShowBounds(picture.width, picture.height);
    spectrumWindow->Draw(SpectrumPlot(means));
    // A data file that cannot be written is named in a message; the plot stays.
    try {
        WriteSpectrumData(SpectrumDataPath(), SpectrumDataText(means));
    } catch (const FileError& e) {
        platform::ui().message(spectrumWindow, QString::fromUtf8(e.what()));
    }
}

}  // namespace nuvak
