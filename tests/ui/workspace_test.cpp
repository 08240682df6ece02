// The main window and its image windows, driven through their handlers with scripted dialogs.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "core/bmp.h"
#include "core/format.h"
#include "core/jpeg.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"
#include "tests/support/ui/scripted_services.h"
#include "tracking/Tracking.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

class WorkspaceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<test::TempDir> dir;
    const test::TempDir userConfig;

    QString put(const QString& name, const test::Bytes& bytes) {
        const std::string path = dir->file(name.toStdString());
        test::WriteBytes(path, bytes);
        return QString::fromStdString(path);
    }
    // Opens a file through the open dialog with the given filter index.
    TChild* open(const QString& path, int filterIndex) {
        dialogs->openFiles({path}, filterIndex);
        form->Open1Click();
        return form->activeChild();
    }
    TChild* openFits() { return open(put(QStringLiteral("m42.fits"), test::LevelExampleFrame()), 2); }
    TChild* openBmp() {
        Raster r(6, 4);
        std::uint8_t* p = r.pixel(2, 1);
        p[0] = 100;  // blue
        p[1] = 220;  // green
        p[2] = 10;   // red
        return open(put(QStringLiteral("pic.bmp"), EncodeBmp(r)), 1);
    }
    TChild* openPgm() {
        test::Bytes b = test::BytesOf("P6\n2 1\n255\n");
        for (int v : {10, 20, 30, 40, 50, 60}) b.push_back(std::uint8_t(v));
        return open(put(QStringLiteral("two.pgm"), b), 4);
    }
    void typeInto(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // The client area a window gives its picture: the picture's size, widened or heightened
    // only as far as the caption bar with its buttons needs.
    static QSize fittedClient(TChild* c) {
        auto* frame = qobject_cast<QMdiSubWindow*>(c->parentWidget());
        return c->Image->size().expandedTo(frame->minimumSizeHint() - (frame->size() - c->size()));
    }
    std::uint8_t shown(TChild* c, int x, int y) { return c->Image->raster().pixel(x, y)[0]; }

private slots:
    // The user's settings folder of this run, which must stay empty.
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(userConfig.path().string())); }

    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        dir = std::make_unique<test::TempDir>();
        form = CreateWindows();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        dialogs.reset();
        dir.reset();
    }

    void startUpCreatesEveryWindowHiddenInOrder() {
        QStringList order;
        for (QObject* o : form->QObject::children())
            if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow())
                order << QString::fromLatin1(w->metaObject()->className()).remove(QStringLiteral("nuvak::"));
        QStringList expected;
        for (const char* name : {"TAboutBox", "TGMCPanel", "TGMM", "TEDG", "TBLUR", "TComaCorrect", "TTitle",
                                 "TSabachie", "TRGBComp", "TState", "TComposite", "TTilt", "TAdvance", "TImgPanel",
                                 "TSpDraw", "TMscomp", "TTrack", "TTrackAd", "THLP"})
            expected << QString::fromLatin1(name);
        QCOMPARE(order, expected);
        for (QObject* o : form->QObject::children())
            if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow())
                QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
        QCOMPARE(form->windowTitle(), QStringLiteral("Nuvak"));
        QCOMPARE(form->size(), QSize(925, 712));
    }

    void menusAreBuiltWithTheirStates() {
        auto action = [&](const char* name) { return form->findChild<QAction*>(QString::fromLatin1(name)); };
        for (const char* shown : {"File1", "Open1", "N10", "Exit1", "K1", "T3", "Window1", "A1", "V1"}) {
            QVERIFY2(action(shown), shown);
            QVERIFY2(action(shown)->isVisible(), shown);
            QVERIFY2(action(shown)->isEnabled(), shown);
        }
        for (const char* hidden : {"N19", "N20", "Save1", "Save2", "S1", "R2", "P3", "E1", "P2", "Help1"})
            QVERIFY2(!action(hidden)->isVisible(), hidden);
        QVERIFY(!action("E1")->isEnabled());
        QVERIFY(!action("P2")->isEnabled());
        QCOMPARE(form->Label2->text(), QStringLiteral("( 0 , 0 ) "));
        QCOMPARE(form->Edit2->text(), QStringLiteral("0"));
        QVERIFY(form->Label1->isHidden());
    }

    void openingAFitsFrameSetsLevelsAndAttributes() {
        TChild* c = openFits();
        QVERIFY(c);
        QCOMPARE(dialogs->lastRequest.title, QStringLiteral("Open an Image for Viewing"));
        QCOMPARE(dialogs->lastRequest.filterIndex, 1);
        const ImageDocument& d = c->document();
        // Grid mean 1200 and minimum 1000 give the levels 1000 and 1400.
        QCOMPARE(form->Edit3->text(), QStringLiteral("1000"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("1400"));
        QCOMPARE(form->Edit1->text(), QStringLiteral("100.0%"));
        QCOMPARE(form->UpDown1->position(), 1400);
        QCOMPARE(form->UpDown2->position(), 1000);
        QCOMPARE(d.MAX, 1400);
        QCOMPARE(d.MIN, 1000);
        QCOMPARE(c->windowTitle(), QStringLiteral("m42.fits"));
        QCOMPARE(c->Image->size(), QSize(100, 100));
        QCOMPARE(c->size(), fittedClient(c));
        QCOMPARE(shown(c, 50, 51), std::uint8_t(127));
        QCOMPARE(form->openFilterIndex, 2);  // the dialog keeps the last entry
    }

    void openingColourAndNetpbmFiles() {
        TChild* b = openBmp();
        QCOMPARE(b->document().kind(), ImageKind::Colour);
        QCOMPARE(b->document().ColN, 3);
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
        QCOMPARE(form->Edit3->text(), QStringLiteral("0"));
        QCOMPARE(b->windowTitle(), QStringLiteral("pic.bmp"));

        Raster r(5, 5);
        TChild* j = open(put(QStringLiteral("pic.jpg"), EncodeJpeg(r)), 3);
        QCOMPARE(j->document().ColN, 1);
        QVERIFY(j != b);

        TChild* p = openPgm();
        QCOMPARE(p->document().kind(), ImageKind::PgmColour);
        QCOMPARE(p->windowTitle(), QStringLiteral("Child"));
        QCOMPARE(form->children().size(), 3);
    }

    void aRefusedFileShowsItsErrorAndOpensNothing() {
        TChild* first = openBmp();
        test::Bytes cut = test::LevelExampleFrame();
        cut.resize(4000);
        const QString bad = put(QStringLiteral("cut.fits"), cut);
        dialogs->openFiles({bad}, 2).expectError(QStringLiteral("cut.fits"));
        platform::Guarded([&] { form->Open1Click(); });
        QCOMPARE(form->children().size(), 1);
        QCOMPARE(form->activeChild(), first);
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
    }

    void cancellingTheOpenDialogDoesNothing() {
        dialogs->cancelOpen();
        form->Open1Click();
        QCOMPARE(form->children().size(), 0);
    }

    void zoomStopsAtSixteenAndASixteenth() {
        TChild* c = openFits();
        for (int i = 0; i < 4; ++i) form->Button1Click();
        QCOMPARE(form->Edit1->text(), QStringLiteral("1600.0%"));
        QCOMPARE(c->Image->size(), QSize(1600, 1600));
        form->Button1Click();
        QCOMPARE(c->document().ZomN, 16.0);
        for (int i = 0; i < 8; ++i) form->Button2Click();
        QCOMPARE(form->Edit1->text(), QStringLiteral("6.2%"));
        QCOMPARE(c->document().ZomN, 0.0625);
        form->Button2Click();
        QCOMPARE(c->document().ZomN, 0.0625);
        QCOMPARE(c->Image->size(), QSize(6, 6));
        // The window keeps its caption bar and buttons; the picture sits in a larger client.
        auto* frame = qobject_cast<QMdiSubWindow*>(c->parentWidget());
        const QSize least = frame->minimumSizeHint();  // what the caption bar with its buttons needs
        QVERIFY(frame->width() >= least.width() && frame->height() >= least.height());
        QCOMPARE(c->size(), fittedClient(c));
        for (int i = 0; i < 5; ++i) form->Button1Click();
        QCOMPARE(c->size(), QSize(200, 200));  // at 200 % the client is the picture again
    }

    void typedLevelsApplyOnlyWhenAnArrowIsPressed() {
        TChild* c = openFits();
        typeInto(form->Edit2, QStringLiteral("3000"));
        QCOMPARE(c->document().MAX, 3000);
        QCOMPARE(shown(c, 50, 51), std::uint8_t(127));  // nothing redrawn yet
        form->UpDown1->press(platform::UpDown::Button::Up);
        // 1200 with levels 1000 and 3000: trunc(200 / (2000 / 255)) = 25.
        QCOMPARE(shown(c, 50, 51), std::uint8_t(25));
        QCOMPARE(form->Edit2->text(), QStringLiteral("3000"));
        QCOMPARE(form->UpDown1->position(), 3000);

        // Levels beyond the old 15-bit range are applied as they are.
        typeInto(form->Edit2, QStringLiteral("40000"));
        form->UpDown2->press(platform::UpDown::Button::Down);
        QCOMPARE(c->document().MAX, 40000);
        QCOMPARE(c->document().MIN, 1000);
        QCOMPARE(form->Edit3->text(), QStringLiteral("1000"));
        QCOMPARE(shown(c, 50, 51), std::uint8_t(1));  // trunc(200 / (39000 / 255)) = 1
    }

    void aLevelThatIsNotANumberShowsTheConversionError() {
        openFits();
        dialogs->expectError(QString::fromStdString(FillMessage(msg::kNotInteger, "abc")));
        form->Edit2->setText(QStringLiteral("abc"));
    }

    void brightnessStepsOnSixteenBitWindows() {
        TChild* c = openFits();
        form->Edit2->setText(QStringLiteral("2000"));
        form->Button33Click();
        QCOMPARE(form->Edit2->text(), QStringLiteral("1800"));
        QCOMPARE(c->document().MAX, 1800);
        QCOMPARE(c->document().Image1, c->document().Image);
        form->Button44Click();
        QCOMPARE(form->Edit2->text(), QStringLiteral("1959"));
        // 1200 with levels 1000 and 1959: trunc(200 / (959 / 255)) = 53.
        QCOMPARE(shown(c, 50, 51), std::uint8_t(53));
    }

    void brightnessStepsOnColourWindowsAndNothingOnNetpbm() {
        TChild* b = openBmp();
        form->Button33Click();
        form->Button33Click();
        QCOMPARE(b->document().Contrast, 1.21);
        const std::uint8_t* p = b->Image->raster().pixel(2, 1);
        QCOMPARE(int(p[0]), 121);  // 100 * 1.21
        QCOMPARE(int(p[1]), 255);  // 220 * 1.21 passes 255
        QCOMPARE(int(p[2]), 12);

        TChild* g = openPgm();
        const Raster before = g->Image->raster();
        form->Button33Click();
        form->Button44Click();
        QCOMPARE(g->Image->raster(), before);
        form->Label2->setText(QStringLiteral("unchanged"));
        g->ImageMouseMove(1, 0);
        QCOMPARE(form->Label2->text(), QStringLiteral("unchanged"));
    }

    void readoutFollowsTheMouse() {
        TChild* b = openBmp();
        form->Button1Click();  // zoom 2
        b->ImageMouseMove(5, 3);
        QCOMPARE(form->Label2->text(), QStringLiteral("R=10  G=220  B=100   (2,1)"));
        TChild* f = openFits();
        f->ImageMouseMove(7, 9);
        QCOMPARE(form->Label2->text(), QStringLiteral("(7,9)"));
        // Closing another picture leaves the readout; closing its own clears it.
        b->parentWidget()->close();
        QTRY_COMPARE(form->children().size(), 1);
        QCOMPARE(form->Label2->text(), QStringLiteral("(7,9)"));
        f->parentWidget()->close();
        QTRY_COMPARE(form->Label2->text(), QStringLiteral("( 0 , 0 ) "));
    }

    void activationUpdatesZoomAndLevels() {
        TChild* f = openFits();
        form->Button1Click();
        TChild* b = openBmp();
        QCOMPARE(form->Edit1->text(), QStringLiteral("100.0%"));
        form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(f->parentWidget()));
        QCOMPARE(form->Edit1->text(), QStringLiteral("200.0%"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("1400"));
        QCOMPARE(form->Edit3->text(), QStringLiteral("1000"));
        form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(b->parentWidget()));
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
    }

    void closeAllClosesEveryImageWindow() {
        form->A1Click();  // none open: nothing happens
        openFits();
        openBmp();
        openPgm();
        QCOMPARE(form->children().size(), 3);
        form->A1Click();
        QTRY_COMPARE(form->children().size(), 0);
    }

    void noActiveWindowMeansTheToolBarDoesNothing() {
        form->Button1Click();
        form->Button2Click();
        form->Button33Click();
        form->Button44Click();
        form->UpDown1->press(platform::UpDown::Button::Up);
        form->SaveButtonClick();  // no save dialog either
        QCOMPARE(form->Edit1->text(), QString());
    }

    void savingWritesTheDisplayUnderTheEntrysExtension() {
        TChild* c = openFits();
        const QString chosen = QString::fromStdString(dir->file("shown.jpg"));
        dialogs->saveAs(chosen, 1);
        form->SaveButtonClick();
        QCOMPARE(dialogs->lastRequest.title, QStringLiteral("Save an Image"));
        const std::string written = dir->file("shown.bmp");
        QCOMPARE(LoadBmp(written), c->document().Image);
        QCOMPARE(c->windowTitle(), QStringLiteral("shown.bmp"));
        // nuvak-cli writes the same file, header included.
        const test::TempDir cliDir;
        const test::RunResult cli =
            test::Run(NUVAK_CLI_PATH, {"render", dir->file("m42.fits"), cliDir.file("cli.bmp")});
        QVERIFY2(cli.status == 0, cli.err.c_str());
        QVERIFY(test::ReadBytes(cliDir.file("cli.bmp")) == test::ReadBytes(written));

        dialogs->saveAs(QString::fromStdString(dir->file("shown")), 3);
        form->SaveButtonClick();
        QCOMPARE(ReadJpeg(dir->file("shown.jpg")).width, 100);
        QCOMPARE(c->windowTitle(), QStringLiteral("shown.bmp"));  // JPEG keeps the caption

        dialogs->saveAs(QString::fromStdString(dir->file("other.fits")), 2);
        form->SaveButtonClick();  // writes nothing and says nothing
        QCOMPARE(dir->entries(), (std::vector<std::string>{"m42.fits", "shown.bmp", "shown.jpg"}));
    }

    void noToTheOverwriteQuestionKeepsTheFile() {
        openFits();
        const QString old = put(QStringLiteral("old.bmp"), test::BytesOf("an older picture"));
        dialogs->saveAs(old, 1).answer(false, QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"));
        form->SaveButtonClick();
        QCOMPARE(test::ReadBytes(old.toStdString()), test::BytesOf("an older picture"));
        dialogs->saveAs(old, 1).answer(true);
        form->SaveButtonClick();
        QVERIFY(test::ReadBytes(old.toStdString()) != test::BytesOf("an older picture"));
    }

    void versionMessageAndMemoryGauge() {
        dialogs->acknowledge(QStringLiteral("Nuvak  ver. 3.01b\n\n"));
        form->V1Click();
        dialogs->memory = 37;
        form->Timer1Timer();
        QCOMPARE(form->Label3->text(), QStringLiteral("37%"));
        QCOMPARE(form->ProgressBar2->value(), 37);
        dialogs->memory = 100;
        form->Timer1Timer();
        QCOMPARE(form->Label3->text(), QStringLiteral("100%"));

        // The fill follows the number on both bars, down to the low end: value / 100 of the
        // width inside the frame (the gauge 98 pixels, the progress bar 198).
        auto filled = [](QProgressBar* bar) {
            const QImage shot = bar->grab().toImage();
            const QColor fill = bar->palette().color(QPalette::Highlight);
            int n = 0;
            for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, shot.height() / 2) == fill;
            return n;
        };
        for (int load : {0, 1, 2, 8, 20, 50, 99, 100}) {
            dialogs->memory = load;
            form->Timer1Timer();
            QCOMPARE(filled(form->ProgressBar2), load * 98 / 100);
            form->ProgressBar1->setValue(load);
            QCOMPARE(filled(form->ProgressBar1), load * 198 / 100);
        }
        form->ProgressBar1->reset();  // a reset bar shows empty
        QCOMPARE(filled(form->ProgressBar1), 0);
    }

    void menuCommandsShowTheirWindows() {
        form->T3Click();
        QVERIFY(form->trackWindow->isVisible());
        form->trackWindow->hide();
        form->OstrelH1Click();
        QVERIFY(form->helpWindow->isVisible());
        form->helpWindow->hide();
        form->Exit1Click();
        QVERIFY(!form->isVisible());
    }

    // The full configuration offers every command that exists: the workbench menus, save,
    // spectrum and help appear; items without a command stay hidden; nothing else changes.
    void fullConfigurationShowsEveryCommandThatExists() {
        form.reset();
        SetConfiguration(Configuration::Full);
        form = CreateWindows();
        SetConfiguration(Configuration::Standard);
        auto action = [&](const char* name) { return form->findChild<QAction*>(QString::fromLatin1(name)); };
        for (const char* shown : {"File1", "Open1", "Save1", "Exit1", "E1", "M1", "R1", "R3",    "RGB1",
                                  "RGB2",  "C1",    "M2",    "P2",    "N4", "H1", "L1", "N5",    "N6",
                                  "N7",    "N8",    "N9",    "P1",    "K1", "P3", "T3", "Help1", "OstrelH1"})
            QVERIFY2(action(shown)->isVisible(), shown);
        for (const char* none : {"N19", "N20", "Save2", "S1", "R2", "N1", "R4", "T1", "E2", "T2", "N15", "C2"})
            QVERIFY2(!action(none)->isVisible(), none);
        for (const char* enabled : {"E1", "P2", "Save1", "RGB1", "OstrelH1", "Help1"})
            QVERIFY2(action(enabled)->isEnabled(), enabled);
        QCOMPARE(form->windowTitle(), QStringLiteral("Nuvak"));
        QVERIFY(!form->trackWindow->findChild<QWidget*>(QStringLiteral("GroupBox1"))->isHidden());

        // The shown "保存(&A)" runs the save command.
        form->show();
        openFits();
        dialogs->saveAs(QString::fromStdString(dir->file("menu.bmp")), 1);
        action("Save1")->trigger();
        QCOMPARE(LoadBmp(dir->file("menu.bmp")), form->activeChild()->document().Image);
        form->helpWindow->hide();
        action("OstrelH1")->trigger();
        QVERIFY(form->helpWindow->isVisible());
        form->helpWindow->hide();
    }

    void ownIconAndShortToolTips() {
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(form->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        QCOMPARE(form->OpenButton->toolTip(), QStringLiteral("Open"));
        QCOMPARE(form->SaveButton->toolTip(), QStringLiteral("Save"));
    }

    // The real open dialog, accepted with a FITS frame: the frame opens, and the dialog keeps
    // no history, folder or layout in the user's settings for a later run.
    void fileDialogsWriteNoSettings() {
        struct RealServices {
            platform::Services* scripted = platform::setServices(nullptr);
            ~RealServices() { platform::setServices(scripted); }
        } real;
        const QString frame = put(QStringLiteral("m42.fits"), test::LevelExampleFrame());
        QTimer chooser;
        connect(&chooser, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            chooser.stop();
            dialog->selectNameFilter(dialog->nameFilters().value(1));
            dialog->selectFile(frame);
            static_cast<QDialog*>(dialog)->accept();  // public in QDialog; runs the file dialog's own
        });
        chooser.start(5);
        form->Open1Click();
        QVERIFY(form->activeChild());
        QCOMPARE(form->activeChild()->windowTitle(), QStringLiteral("m42.fits"));
        QCOMPARE(userConfig.entries(), std::vector<std::string>{});
    }
};

QTEST_MAIN(WorkspaceTest)
#include "workspace_test.moc"
