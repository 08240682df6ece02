// The RGB composite workbench driven through its handlers with scripted dialogs: frame
// lists, field and arrow pairs, the reference-star modes, coordinate windows, the project
// file and a composite run to a colour window.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/bmp.h"
#include "imageops/Gamma1.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "rgbcomp/Advance1.h"
#include "rgbcomp/Rgbcomp1.h"
#include "rgbcomp/pipeline.h"
#include "rgbcomp/project.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"
#include "tests/support/ui/scripted_services.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

class RGBCompTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<test::TempDir> dir;
    TRGBComp* rgb = nullptr;

    QString file(const char* name) const { return QString::fromStdString(dir->file(name)); }
    template <class W>
    W* control(const char* name) const {
        W* w = rgb->findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    QStringList entries(QListWidget* list) const {
        QStringList out;
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
    // A w x h frame of sky 1000 with a star of 5000 at (sx, sy) and its four neighbours at 3000.
    QString writeFrame(const char* name, int w, int h, int sx, int sy) const {
        const std::string path = dir->file(name);
        test::WriteBytes(path, test::FitsBuilder::Image16(w, h)
                                   .samples(w, h,
                                            [&](int x, int y) {
                                                const int d = std::abs(x - sx) + std::abs(y - sy);
                                                return test::Stored(d == 0 ? 5000 : d == 1 ? 3000 : 1000);
                                            })
                                   .bytes());
        return QString::fromStdString(path);
    }
    // The main window's client area as the result windows are sized from.
    QSize client() const { return form->size() - QSize(0, form->menuBar()->sizeHint().height()); }

private slots:
    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        dir = std::make_unique<test::TempDir>();
        form = CreateWindows();
        form->show();
        rgb = form->rgbWindow;
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        dialogs.reset();
        dir.reset();
    }

    // Duplicates are listed twice, a cancelled dialog still sets the count, and deleting
    // several selected entries removes them all.
    void framesAreAddedAndDeleted() {
        dialogs->openFiles({file("a.fits"), file("a.fits")}, 1).cancelOpen().openFiles({file("b.fits")}, 1);
        rgb->Button1Click();
        QCOMPARE(dialogs->lastRequest.filter, QStringLiteral("FITS(*.fit,*.fts,*.fits)|*.fit;*.fts;*.fits"));
        QVERIFY(dialogs->lastRequest.multiple && dialogs->lastRequest.mustExist);
        QCOMPARE(rgb->Edit1->text(), QStringLiteral("2"));
        rgb->ListBox1->addItem(QStringLiteral("stale"));  // a count the cancelled dialog corrects
        rgb->Button1Click();
        QCOMPARE(rgb->Edit1->text(), QStringLiteral("3"));
        rgb->Button1Click();
        QCOMPARE(entries(rgb->ListBox1),
                 QStringList({file("a.fits"), file("a.fits"), QStringLiteral("stale"), file("b.fits")}));
        rgb->ListBox1->item(0)->setSelected(true);
        rgb->ListBox1->item(2)->setSelected(true);
        rgb->ListBox1->item(3)->setSelected(true);
        rgb->Button8Click();
        QCOMPARE(entries(rgb->ListBox1), QStringList({file("a.fits")}));
        QCOMPARE(rgb->Edit1->text(), QStringLiteral("1"));
        QCOMPARE(rgb->Edit2->text(), QStringLiteral("0"));
    }

    // A field sets its arrow pair; an up click writes the position back in the field's form.
    void fieldsAndArrowsStayInStep_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("arrows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("afterUp");
        QTest::newRow("R 1.5") << "Edit15"
                               << "UpDown10"
                               << "1.5" << 150 << "1.51";
        QTest::newRow("G 0.29") << "Edit16"
                                << "UpDown11"
                                << "0.29" << 29 << ".30";
        QTest::newRow("B below one") << "Edit17"
                                     << "UpDown12"
                                     << ".49" << 49 << ".50";
        QTest::newRow("K at the top") << "Edit18"
                                      << "UpDown13"
                                      << "20" << 2000 << "20.00";
        QTest::newRow("star 2 y") << "Edit10"
                                  << "UpDown4"
                                  << "1999" << 1999 << "2000";
        QTest::newRow("B.G.L at the top") << "Edit14"
                                          << "UpDown9"
                                          << "100" << 100 << "100";
        QTest::newRow("delta 1 below the range") << "Edit8"
                                                 << "UpDown5"
                                                 << "-3" << 0 << "1";
    }
    void fieldsAndArrowsStayInStep() {
        QFETCH(QString, field);
        QFETCH(QString, arrows);
        QFETCH(QString, typed);
        QFETCH(int, position);
        QFETCH(QString, afterUp);
        auto* edit = control<QLineEdit>(field.toLatin1().constData());
        auto* updown = control<platform::UpDown>(arrows.toLatin1().constData());
        edit->setText(typed);
        QCOMPARE(updown->position(), position);
        updown->press(platform::UpDown::Button::Up);
        QCOMPARE(edit->text(), afterUp);
    }

    // A text that is not a number shows the standard error box; the arrows keep their place.
    void aFieldThatIsNotANumberIsAnError() {
        dialogs->expectError().expectError();
        rgb->Edit6->setText(QStringLiteral("12"));
        rgb->Edit6->setText(QStringLiteral("12a"));
        rgb->Edit15->setText(QStringLiteral("1,5"));
        QCOMPARE(rgb->UpDown1->position(), 12);
        QCOMPARE(rgb->UpDown10->position(), 100);
    }

    // Which star fields each mode unlocks (from two stars, so that every lock is tested).
    void modesLockTheStarFields_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("editable");  // Edit6 Edit9 Edit8 Edit11 Edit7 Edit10
        QTest::addColumn<QString>("enabled");   // UpDown1 ... UpDown6
        QTest::newRow("at start") << ""
                                  << "000000"
                                  << "111111";
        QTest::newRow("none") << "RadioButton3"
                              << "000000"
                              << "000000";
        QTest::newRow("one star") << "RadioButton1"
                                  << "111100"
                                  << "110011";
        QTest::newRow("two stars") << "RadioButton2"
                                   << "111111"
                                   << "111111";
    }
    void modesLockTheStarFields() {
        QFETCH(QString, mode);
        QFETCH(QString, editable);
        QFETCH(QString, enabled);
        if (!mode.isEmpty()) {
            rgb->Edit19->setText(QStringLiteral("0"));
            rgb->RadioButton2->click();
            control<QRadioButton>(mode.toLatin1().constData())->click();
            QVERIFY(control<QRadioButton>(mode.toLatin1().constData())->isChecked());
        }
        const QLineEdit* fields[] = {rgb->Edit6, rgb->Edit9, rgb->Edit8, rgb->Edit11, rgb->Edit7, rgb->Edit10};
        const QColor face = rgb->palette().color(QPalette::Button);
        for (int i = 0; i < 6; ++i) {
            const bool open = editable[i] == QLatin1Char('1');
            QCOMPARE(fields[i]->isReadOnly(), !open);
            QCOMPARE(fields[i]->palette().color(QPalette::Base), open ? QColor(Qt::white) : face);
            QCOMPARE(control<platform::UpDown>(qPrintable(QStringLiteral("UpDown%1").arg(i + 1)))->isEnabled(),
                     enabled[i] == QLatin1Char('1'));
        }
        if (mode == QLatin1String("RadioButton2")) QCOMPARE(rgb->Edit19->text(), QStringLiteral("1"));
    }

    void cancelledCoordinatesLeaveTwoStars() {
        rgb->RadioButton3->click();
        dialogs->cancelOpen();
        rgb->Button13Click();
        QVERIFY(rgb->RadioButton2->isChecked());
        QVERIFY(!rgb->Edit7->isReadOnly());
        QVERIFY(form->children().isEmpty());
    }

    // A coordinate window: a 16-bit window with the coordinate read-out, sized from the main
    // window, its mean and minimum in the level fields.
    void coordinatesOpenAWindowPerFile() {
        const std::string path = dir->file("m42.fits");
        test::WriteBytes(path, test::LevelExampleFrame());
        dialogs->openFiles({QString::fromStdString(path), QString::fromStdString(path)}, 1);
        rgb->Button13Click();
        QCOMPARE(dialogs->lastRequest.filter, QStringLiteral("FITS|*.fit;*.fts;*.fits"));
        QCOMPARE(form->children().size(), 2);
        TChild* child = form->activeChild();
        const ImageDocument& d = child->document();
        QCOMPARE(d.kind(), ImageKind::Mono16);
        QCOMPARE(child->windowTitle(), QStringLiteral("m42.fits"));
        QCOMPARE(child->size(), client() - QSize(50, 100));
        QCOMPARE(form->Edit1->text(), QStringLiteral("100.0%"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("1200"));
        QCOMPARE(form->Edit3->text(), QStringLiteral("1000"));
        child->ImageMouseMove(95, 3);
        QCOMPARE(form->Label2->text(), QStringLiteral("(95,3)"));
    }

    // "OK" hides the window and copies the advanced settings; without red frames nothing runs.
    void okWithoutRedFramesMakesNoWindow() {
        dialogs->openFiles({file("g.fits")}, 1).openFiles({file("b.fits")}, 1);
        rgb->Button2Click();
        rgb->Button3Click();
        rgb->advance->CheckBox5->setChecked(true);
        rgb->show();
        rgb->Button7Click();
        QVERIFY(!rgb->isVisible());
        QVERIFY(form->children().isEmpty());
        QCOMPARE(rgb->advance->settings.slope[1], 1);
    }

    // Save, change every control, load: everything comes back, the factors in short form.
    void aSavedProjectLoadsBack() {
        try {
            SaveProjectFile(dir->file("probe.mvl"), RGBCompositeSetup{});
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        dialogs->openFiles({file("r1.fits"), file("r2.fits")}, 1).openFiles({file("d.fits")}, 1);
        rgb->Button1Click();
        rgb->Button4Click();
        rgb->RadioButton1->click();
        rgb->RadioButton4->click();
        rgb->Edit6->setText(QStringLiteral("120"));
        rgb->Edit11->setText(QStringLiteral("7"));
        rgb->Edit13->setText(QStringLiteral("33"));
        rgb->Edit15->setText(QStringLiteral("0.85"));
        rgb->Edit18->setText(QStringLiteral("1.00"));
        rgb->advance->CheckBox2->setChecked(true);
        rgb->advance->Edit1->setText(QStringLiteral("50000"));
        const RGBCompositeSetup saved = rgb->setup();
        dialogs->saveAs(file("project.txt"), 1);
        rgb->Button16Click();
        QVERIFY(QFileInfo::exists(file("project.mvl")));
        // A declined overwrite writes nothing.
        const test::Bytes first = test::ReadBytes(dir->file("project.mvl"));
        rgb->Edit6->setText(QStringLiteral("5"));
        dialogs->saveAs(file("project.mvl"), 1).answer(false, QStringLiteral("上書きしますか"));
        rgb->Button16Click();
        QVERIFY(test::ReadBytes(dir->file("project.mvl")) == first);

        dialogs->openFiles({file("g.fits")}, 1);
        rgb->Button2Click();
        rgb->RadioButton2->click();
        rgb->RadioButton6->click();
        rgb->Edit15->setText(QStringLiteral("2"));
        rgb->advance->CheckBox2->setChecked(false);
        rgb->advance->CheckBox6->setChecked(true);
        dialogs->openFiles({file("project.mvl")}, 1);
        rgb->Button15Click();
        QVERIFY(rgb->setup() == saved);
        QVERIFY(rgb->advance->settings == saved.advanced);
        QCOMPARE(rgb->Edit15->text(), QStringLiteral("0.85"));
        QCOMPARE(rgb->Edit18->text(), QStringLiteral("1"));
        QCOMPARE(rgb->UpDown10->position(), 85);
        QCOMPARE(rgb->Edit2->text(), QStringLiteral("0"));
        QVERIFY(rgb->Edit7->isReadOnly());  // one star again

        // A file that is not a project says so and changes nothing.
        test::WriteBytes(dir->file("bad.mvl"), test::BytesOf("MORVEL-2 File Data of RGB composite\r\nx"));
        dialogs->openFiles({file("bad.mvl")}, 1).acknowledge(QStringLiteral("bad.mvl"));
        rgb->Button15Click();
        QVERIFY(rgb->setup() == saved);
    }

    // Project files with numbers the window's buttons and boxes do not take: "OK" after a
    // load into a fresh workbench and nuvak-cli rgb make the same picture (a flag neither 1
    // nor 0 leaves its box cleared, so nothing is turned or levelled), and a mode that is
    // none of the three leaves the star fields' arrows as they were at start.
    void oddProjectValuesRunAsTheWindowShowsThem_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("detect");
        QTest::addColumn<QString>("turn");  // red green blue
        QTest::addColumn<QString>("slope");
        QTest::addColumn<bool>("star2Arrows");
        QTest::newRow("turn 2 -1 3") << 1 << 1 << "2 -1 3"
                                     << "0 0 0" << false;
        QTest::newRow("slope 3 2 -1") << 1 << 0 << "0 0 0"
                                      << "3 2 -1" << false;
        QTest::newRow("mode 7, detection 5") << 7 << 5 << "1 2 0"
                                             << "0 1 5" << true;
        QTest::newRow("flags 1 and 0") << 0 << 2 << "0 1 0"
                                       << "1 0 1" << false;
    }
    void oddProjectValuesRunAsTheWindowShowsThem() {
        QFETCH(int, mode);
        QFETCH(int, detect);
        QFETCH(QString, turn);
        QFETCH(QString, slope);
        QFETCH(bool, star2Arrows);
        // A star off the centre on a sloping sky, so that a turn or a levelling shows.
        const auto sky = [this](const char* name) {
            std::string path = dir->file(name);
            test::WriteBytes(path, test::FitsBuilder::Image16(40, 32)
                                       .samples(40, 32,
                                                [](int x, int y) {
                                                    const bool star = std::abs(x - 14) <= 1 && std::abs(y - 10) <= 1;
                                                    return test::Stored(star ? 9000 : 1000 + 20 * x + 7 * y);
                                                })
                                       .bytes());
            return path;
        };
        RGBCompositeSetup s;
        s.lists = {{{sky("r.fits")}, {sky("g.fits")}, {sky("b.fits")}, {}, {}}};
        s.starMode = mode;
        s.detect = detect;
        s.x1 = 14, s.y1 = 10, s.delta1 = 5;
        s.bx = 30, s.by = 20;
        const QStringList t = turn.split(QLatin1Char(' ')), l = slope.split(QLatin1Char(' '));
        for (int c = 0; c < 3; ++c) {
            s.advanced.turn[c] = t[c].toInt();
            s.advanced.slope[c] = l[c].toInt();
        }
        const std::string project = dir->file("odd.mvl");
        test::WriteBytes(project, test::BytesOf(ProjectFileText(s)));
        const std::string out = dir->file("cli.bmp");
        const test::RunResult cli = test::Run(NUVAK_CLI_PATH, {"rgb", project, out});
        QVERIFY2(cli.status == 0, cli.err.c_str());

        dialogs->openFiles({QString::fromStdString(project)}, 1);
        rgb->Button15Click();
        QCOMPARE(rgb->UpDown3->isEnabled(), star2Arrows);
        QVERIFY(rgb->RadioButton5->isChecked() == (detect != 0 && detect != 2));
        rgb->Button7Click();
        QCOMPARE(form->children().size(), 1);
        const Raster& window = form->activeChild()->document().Image;
        const Raster written = LoadBmp(out);
        QCOMPARE(written.width, window.width);
        QCOMPARE(written.height, window.height);
        QVERIFY(written.bytes == window.bytes);
    }

    // With the always-on-top workbench in view, the real boxes and dialogs open above it: they
    // stay on top too and belong to it; with it hidden they open as asked, and a dialog that
    // lives on does not keep the flag.
    void boxesOpenAboveTheWorkbench() {
        struct RealServices {
            platform::Services* scripted = platform::setServices(nullptr);
            ~RealServices() { platform::setServices(scripted); }
        } real;
        struct Row {
            const char* what;
            std::function<void()> open;
            QWidget* askedOwner;
            bool reowned;
        };
        const Row rows[] = {
            {"bad B.G.L",
             [this] {
                 rgb->Edit14->setText(QStringLiteral("10"));
                 rgb->Edit14->setText(QStringLiteral("10a"));
             },
             nullptr, true},
            {"main window's open", [this] { form->Open1Click(); }, form.get(), true},
            {"workbench's load", [this] { rgb->Button15Click(); }, rgb, false},
            {"kept dialog", [this] { platform::ui().showModal(form->gammaWindow); }, form.get(), false},
        };
        for (const bool inView : {false, true}) {
            rgb->setVisible(inView);
            for (const Row& row : rows) {
                bool above = false;
                QWidget* owner = nullptr;
                QTimer closer;
                connect(&closer, &QTimer::timeout, [&] {
                    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    if (!box) return;
                    above = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                    owner = box->parentWidget();
                    closer.stop();
                    box->reject();
                });
                closer.start(5);
                row.open();
                QVERIFY2(above == inView, row.what);
                QVERIFY2(owner == (inView && row.reowned ? rgb : row.askedOwner), row.what);
            }
        }
        QVERIFY(!form->gammaWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    // The workbench and its advanced window open below the main window's menu and tool bar,
    // covering neither, and come back where the user moved them.
    void windowsOpenBelowTheBarsAndKeepTheirPlace() {
        const QRect bars(form->menuBar()->mapToGlobal(QPoint(0, 0)),
                         form->SpeedBar->mapToGlobal(QPoint(form->SpeedBar->width(), form->SpeedBar->height())));
        form->RGB1Click();
        rgb->Button14Click();
        QWidget* windows[] = {rgb, rgb->advance};
        for (QWidget* w : windows) {
            QVERIFY(w->isVisible());
            QVERIFY2(!w->frameGeometry().intersects(bars), w->metaObject()->className());
            QVERIFY(w->frameGeometry().top() > bars.bottom());
        }
        for (QWidget* w : windows) {
            const QPoint moved = w->pos() + QPoint(37, 23);
            w->move(moved);
            w->hide();
            w->show();
            QCOMPARE(w->pos(), moved);
        }
    }

    // Three frames to a colour window: its size, its kind and a sky pixel at the level 9.
    void aCompositeRunMakesAColourWindow() {
        const QString r = writeFrame("r.fits", 48, 40, 24, 20), g = writeFrame("g.fits", 48, 40, 24, 20),
                      b = writeFrame("b.fits", 48, 40, 24, 20);
        rgb->Edit6->setText(QStringLiteral("24"));
        rgb->Edit9->setText(QStringLiteral("20"));
        rgb->Edit12->setText(QStringLiteral("10"));
        rgb->Edit13->setText(QStringLiteral("30"));
        RGBCompositeSetup probe = rgb->setup();
        probe.lists = {{{r.toStdString()}, {g.toStdString()}, {b.toStdString()}, {}, {}}};
        try {
            Progress quiet;
            RunRGBComposite(probe, quiet, [](const std::string&) {});
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        dialogs->openFiles({r}, 1).openFiles({g}, 1).openFiles({b}, 1);
        rgb->Button1Click();
        rgb->Button2Click();
        rgb->Button3Click();
        rgb->Button7Click();
        QCOMPARE(form->children().size(), 1);
        TChild* child = form->activeChild();
        const ImageDocument& d = child->document();
        QCOMPARE(d.kind(), ImageKind::Colour);
        QCOMPARE(d.DemX, 48);
        QCOMPARE(d.DemY, 40);
        QCOMPARE(child->windowTitle(), QStringLiteral("Child"));
        const std::uint8_t* sky = d.Image.pixel(10, 30);
        QCOMPARE(int(sky[0]), 9);
        QCOMPARE(int(sky[1]), 9);
        QCOMPARE(int(sky[2]), 9);
        auto* frame = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        QCOMPARE(frame->size(), client() - QSize(20, 100));
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
        QCOMPARE(form->Edit3->text(), QStringLiteral("0"));
        QCOMPARE(form->ProgressBar1->value(), 0);
    }
};

QTEST_MAIN(RGBCompTest)
#include "rgbcomp_test.moc"
