// The image-editing and image-processing menu commands of the full configuration, driven
// through their menu items on an opened picture, with scripted dialogs.
#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/bmp.h"
#include "imageops/Comacorrect1.h"
#include "imageops/Gamma1.h"
#include "imageops/Gmcpanel1.h"
#include "imageops/Sabachie1.h"
#include "platform/controls.h"
#include "tests/support/files.h"
#include "tests/support/ui/scripted_services.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

class ImageOpsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<test::TempDir> dir;

private slots:
    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        dir = std::make_unique<test::TempDir>();
        SetConfiguration(Configuration::Full);
        form = CreateWindows();
        SetConfiguration(Configuration::Standard);
        // A 40 x 30 picture in which every byte differs from its neighbours, with one
        // saturated vertical streak for the blooming removal.
        Raster r(40, 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                for (int k = 0; k < 3; ++k) r.pixel(x, y)[k] = std::uint8_t((x * 37 + y * 91 + k * 53) % 250);
        for (int y = 5; y < 20; ++y) r.pixel(12, y)[2] = 255;
        const std::string path = dir->file("pic.bmp");
        test::WriteBytes(path, EncodeBmp(r));
        dialogs->openFiles({QString::fromStdString(path)}, 1);
        form->Open1Click();
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        dialogs.reset();
        dir.reset();
    }

    // Which pictures each command changes, that its dialog is shown, and that the bar ends empty.
    void eachCommandChangesItsPictures_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("master");
        QTest::newRow("mirror") << "M1" << false << true << true;
        QTest::newRow("flip") << "R1" << false << true << true;
        QTest::newRow("rotate") << "R3" << false << true << true;
        QTest::newRow("blur") << "N4" << true << true << true;
        QTest::newRow("high-pass") << "H1" << false << true << true;
        QTest::newRow("low-pass") << "L1" << false << true << true;
        QTest::newRow("blooming") << "N5" << false << true << true;
        QTest::newRow("gamma") << "N6" << true << true << false;
        QTest::newRow("solarization") << "N7" << false << true << false;
        QTest::newRow("Sabattier") << "N8" << true << true << false;
        QTest::newRow("coma") << "N9" << true << true << false;
        QTest::newRow("guide-miss canceller") << "P1" << true << true << false;
    }
    void eachCommandChangesItsPictures() {
        QFETCH(QString, item);
        QFETCH(bool, dialog);
        QFETCH(bool, image);
        QFETCH(bool, master);
        form->gammaWindow->Edit1->setText(QStringLiteral("2.0"));
        form->sabattierWindow->Edit1->setText(QStringLiteral("128"));
        form->comaWindow->Edit1->setText(QStringLiteral("20"));
        form->comaWindow->Edit2->setText(QStringLiteral("15"));
        form->comaWindow->Edit3->setText(QStringLiteral("1.0"));
        form->gmcWindow->Edit2->setText(QStringLiteral("2"));
        form->gmcWindow->Button1Click();  // the panel confirmed once
        const ImageDocument before = form->activeChild()->document();
        if (dialog) dialogs->closeModal(QDialog::Accepted);
        QAction* action = form->findChild<QAction*>(item);
        QVERIFY(action && action->isVisible() && action->isEnabled());
        action->trigger();
        const ImageDocument& after = form->activeChild()->document();
        QCOMPARE(after.Image != before.Image, image);
        QCOMPARE(after.ImageZm != before.ImageZm, master);
        QCOMPARE(form->activeChild()->Image->raster(), after.Image);  // the window shows it
        QCOMPARE(form->ProgressBar1->value(), 0);
    }

    // RGB separation makes three grey windows of the master picture; the source stays.
    void separationOpensThreeChannelWindows() {
        TChild* source = form->activeChild();
        const ImageDocument before = source->document();
        form->findChild<QAction*>(QStringLiteral("RGB2"))->trigger();
        QCOMPARE(form->children().size(), 4);
        QCOMPARE(form->activeChild()->windowTitle(), QStringLiteral("Red"));
        for (int k = 0; k < 3; ++k) {
            const ImageDocument& d = form->children()[k + 1]->document();
            QCOMPARE(d.caption, std::string(k == 0 ? "Blue" : k == 1 ? "Green" : "Red"));
            QCOMPARE(d.DemX, 40);
            const std::uint8_t* p = d.Image.pixel(12, 7);
            QCOMPARE(int(p[0]), int(before.ImageZm.pixel(12, 7)[k]));
            QCOMPARE(int(p[1]), int(p[0]));
        }
        QVERIFY(source->document().Image == before.Image);
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
    }

    // The guide-miss panel comes first; a flow whose kernel exceeds the picture is refused with
    // the picture and the panel as they were; without a window the panel shows and nothing runs.
    void guideMissPanelThenItsRefusals() {
        TGMCPanel* panel = form->gmcWindow;
        panel->Edit2->setText(QStringLiteral("1000"));
        panel->Button1Click();
        const Raster before = form->activeChild()->document().Image;
        dialogs->closeModal(QDialog::Accepted).acknowledge(QStringLiteral("2003 × 2003"));
        form->P1Click();
        QCOMPARE(form->activeChild()->document().Image, before);
        QCOMPARE(form->activeChild()->Image->raster(), before);
        QCOMPARE(panel->Edit2->text(), QStringLiteral("1000"));
        QCOMPARE(panel->settings.flow, 1000);

        form->A1Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form->activeChild());
        dialogs->closeModal(QDialog::Accepted);
        dialogs->shown.clear();
        form->P1Click();
        QCOMPARE(dialogs->shown, QStringList{QStringLiteral("modal: TGMCPanel")});
    }

    // A close of the main window while a filter runs (the bar turns the event loop) waits for
    // the filter to finish, then closes the window.
    void closingTheMainWindowWaitsForTheRunningCommand() {
        form->show();
        const Raster before = form->activeChild()->document().Image;
        bool closedMidway = false, shownAfterClose = false;
        QTimer::singleShot(0, form.get(), [&] {
            closedMidway = platform::LongCommandRunning() && form->ProgressBar1->value() > 0;
            form->close();
            shownAfterClose = form->isVisible();
        });
        form->findChild<QAction*>(QStringLiteral("H1"))->trigger();
        QVERIFY(closedMidway);
        QVERIFY(shownAfterClose);
        QVERIFY(form->isVisible());
        QVERIFY(form->activeChild()->document().Image != before);  // the filter ran through
        QCOMPARE(form->activeChild()->Image->raster(), form->activeChild()->document().Image);
        QCOMPARE(form->ProgressBar1->value(), 0);
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(!platform::LongCommandRunning());
    }

    // A refused command leaves the window as it was and says why.
    void aStepWidthOfZeroIsRefused() {
        form->sabattierWindow->Edit1->setText(QStringLiteral("0"));
        const Raster before = form->activeChild()->document().Image;
        dialogs->closeModal(QDialog::Accepted).acknowledge();
        form->N8Click();
        QCOMPARE(form->activeChild()->document().Image, before);
    }
};

QTEST_MAIN(ImageOpsTest)
#include "imageops_test.moc"
