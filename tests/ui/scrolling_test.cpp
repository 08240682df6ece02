// Image windows larger than the workspace: the caption stays reachable, the workspace and the
// window scroll to every part of the picture, and clicks and the readout keep picture
// coordinates while scrolled.
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include "core/samples.h"
#include "platform/controls.h"
#include "tests/support/fits_files.h"
#include "tests/support/ui/scripted_services.h"
#include "tracking/Trackadvance.h"
#include "tracking/Tracking.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

namespace {

// How the image window under test comes about.
enum class Road { Open, Zoom, ZoomWhileScrolled, Preview };

// The star of the large frames, near their far corner.
constexpr double kStarX = 2900.3, kStarY = 2950.6;

QString u8(const char* s) { return QString::fromUtf8(s); }

}  // namespace

Q_DECLARE_METATYPE(Road)

class ScrollingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<test::TempDir> dir;
    QStringList large;  // two 3000 x 3000 frames
    QString small;      // 200 x 200

    TChild* open(const QString& path) {
        dialogs->openFiles({path}, 2);
        form->Open1Click();
        return form->activeChild();
    }
    TChild* windowBy(Road road) {
        switch (road) {
            case Road::Open:
                return open(large[0]);
            case Road::Zoom:
                open(small);
                zoomPresses(2);
                return form->activeChild();
            case Road::ZoomWhileScrolled:
                // At 400 % scrolled to the bottom, the caption lies above the visible area;
                // 800 % is wider than the main window, so the window also scrolls its picture.
                open(small);
                zoomPresses(2);
                scrollToFarCorner(form->activeChild());
                zoomPresses(1);
                return form->activeChild();
            case Road::Preview:
                dialogs->openFiles(large, 1).acknowledge(u8("恒星を指定してください。"));
                form->trackWindow->Button1Click();
                form->trackWindow->Button4Click();
                return form->activeChild();
        }
        return nullptr;
    }
    void zoomPresses(int n) {
        for (int i = 0; i < n; ++i) form->Button1Click();
    }
    static QMdiSubWindow* frameOf(TChild* c) { return qobject_cast<QMdiSubWindow*>(c->parentWidget()); }
    // The scroll bars of the workspace and of the window, laid out as the event loop leaves them.
    QList<QScrollBar*> barsOf(TChild* c) {
        QCoreApplication::processEvents();
        const QScrollArea* window = c->findChild<QScrollArea*>();
        return {form->mdiArea()->horizontalScrollBar(), form->mdiArea()->verticalScrollBar(),
                window->horizontalScrollBar(), window->verticalScrollBar()};
    }
    // As a user drags every scroll bar to its end.
    void scrollToFarCorner(TChild* c) {
        for (QScrollBar* bar : barsOf(c)) bar->setValue(bar->maximum());
    }
    // The main window's point that shows picture position p; invalid when p is not visible.
    QPoint shownAt(TChild* c, QPoint p) {
        const QPoint at = c->Image->mapTo(form.get(), p);
        return form->childAt(at) == c->Image ? at : QPoint(-1, -1);
    }

private slots:
    void initTestCase() {
        dir = std::make_unique<test::TempDir>();
        SampleSeries series;
        series.width = series.height = 3000;
        series.frames = 2;
        series.darks = 0;
        series.startX = kStarX;
        series.startY = kStarY;
        for (const std::string& f : WriteSampleSeries(dir->file("night"), series)) large << QString::fromStdString(f);
        const std::string path = dir->file("small.fits");
        test::WriteBytes(path, test::FitsBuilder::Image16(200, 200)
                                   .samples(200, 200, [](int x, int y) { return test::Stored(1000 + (x + y) % 50); })
                                   .bytes());
        small = QString::fromStdString(path);
    }

    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        form = CreateWindows();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        dialogs.reset();
    }

    void cleanupTestCase() { dir.reset(); }

    void farCornerIsReachable_data() {
        QTest::addColumn<Road>("road");
        QTest::addColumn<QPoint>("corner");   // position on the picture as shown, near its far corner
        QTest::addColumn<QString>("readout");  // the raster position the readout shows
        QTest::newRow("opened 3000 x 3000") << Road::Open << QPoint(2990, 2995) << QStringLiteral("(2990,2995)");
        QTest::newRow("200 x 200 at 400 %") << Road::Zoom << QPoint(797, 799) << QStringLiteral("(199,199)");
        QTest::newRow("800 % zoomed while scrolled") << Road::ZoomWhileScrolled << QPoint(1599, 1596) << QStringLiteral("(199,199)");
        QTest::newRow("star on the tracking preview") << Road::Preview << QPoint(2900, 2950) << QStringLiteral("(2900,2950)");
    }

    void farCornerIsReachable() {
        QFETCH(Road, road);
        QFETCH(QPoint, corner);
        QFETCH(QString, readout);
        TChild* c = windowBy(road);
        QVERIFY(c);
        // The caption bar starts inside the workspace's visible area.
        QVERIFY2(form->mdiArea()->viewport()->rect().contains(frameOf(c)->pos()),
                 qPrintable(QStringLiteral("frame at %1, %2").arg(frameOf(c)->x()).arg(frameOf(c)->y())));
        QCOMPARE(shownAt(c, corner), QPoint(-1, -1));
        scrollToFarCorner(c);
        const QPoint at = shownAt(c, corner);
        QVERIFY(at.x() >= 0);
        QTest::mouseMove(form->windowHandle(), at);
        QCOMPARE(form->Label2->text(), readout);
        // A click picks the picture pixel the readout shows, whatever the zoom; on the preview,
        // Yes starts the run on the star there.
        if (road == Road::Preview)
            dialogs->answer(true, QStringLiteral("X = 2900, Y = 2950 を")).acknowledge(u8("計測開始します。"));
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at);
        const TTrackAd* settings = form->trackAdWindow;
        QCOMPARE(QStringLiteral("(%1,%2)").arg(settings->Edit3->text(), settings->Edit4->text()), readout);
        if (road != Road::Preview) return;
        const TrackingState& run = form->trackWindow->state;
        QCOMPARE(run.StarPickState, 0);
        QCOMPARE(run.FrameCount, 2);
        QVERIFY(std::abs(run.CentroidX[0] - kStarX) < 0.5 && std::abs(run.CentroidY[0] - kStarY) < 0.5);
        form->trackWindow->hide();
    }

    void wheelScrollsThePictureElseTheWorkspace_data() {
        QTest::addColumn<int>("presses");
        QTest::addColumn<bool>("pictureScrolls");
        QTest::newRow("window fits the picture") << 0 << false;
        QTest::newRow("picture larger than the window") << 1 << true;
    }

    void wheelScrollsThePictureElseTheWorkspace() {
        QFETCH(int, presses);
        QFETCH(bool, pictureScrolls);
        TChild* c = open(large[0]);
        zoomPresses(presses);
        const QList<QScrollBar*> bars = barsOf(c);
        // One notch down over the picture.
        QWheelEvent wheel(QPointF(10, 10), QPointF(), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(c->findChild<QScrollArea*>()->viewport(), &wheel);
        QCOMPARE(bars[1]->value() > 0, !pictureScrolls);
        QCOMPARE(bars[3]->value() > 0, pictureScrolls);
    }
};

QTEST_MAIN(ScrollingTest)
#include "scrolling_test.moc"
