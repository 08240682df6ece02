// The tracking measurement end to end through its windows, with scripted dialogs.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QUrl>
#include <memory>

#include "core/format.h"
#include "core/samples.h"
#include "platform/controls.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"
#include "tests/support/ui/scripted_services.h"
#include "tracking/Trackadvance.h"
#include "tracking/Tracking.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

namespace {

QString u8(const char* s) { return QString::fromUtf8(s); }

}  // namespace

class TrackingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<test::TempDir> dir;
    QStringList frames;
    TTrack* track = nullptr;
    TTrackAd* settings = nullptr;

    void listFrames(const QStringList& files) {
        dialogs->openFiles(files, 1);
        track->Button1Click();
    }
    // The windows made anew in the full configuration.
    void useFullConfiguration() {
        form.reset();
        SetConfiguration(Configuration::Full);
        form = CreateWindows();
        SetConfiguration(Configuration::Standard);
        track = form->trackWindow;
        settings = form->trackAdWindow;
    }
    // Start, preview, a click on the star of the first frame and Yes: the whole road.
    void measureWithPick(int x, int y, const QStringList& list = {}) {
        listFrames(list.isEmpty() ? frames : list);
        dialogs->acknowledge(u8("恒星を指定してください。"));
        track->Button4Click();
        TChild* preview = form->activeChild();
        QVERIFY(preview);
        dialogs->answer(true, QStringLiteral("X = %1, Y = %2 を指定しました。　よろしいですか？").arg(x).arg(y))
            .acknowledge(u8("計測開始します。"));
        preview->ImageMouseDown(Qt::LeftButton, x, y);
    }

private slots:
    void initTestCase() {
        dir = std::make_unique<test::TempDir>();
        SampleSeries series;
        series.frames = 6;
        for (const std::string& f : WriteSampleSeries(dir->file("night"), series)) frames << QString::fromStdString(f);
    }

    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        form = CreateWindows();
        track = form->trackWindow;
        settings = form->trackAdWindow;
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        dialogs.reset();
    }

    void cleanupTestCase() { dir.reset(); }

    void builtWithItsDefaultsAndHiddenParts() {
        QCOMPARE(track->windowTitle(), u8("追尾計測"));
        QCOMPARE(track->Edit1->text(), QStringLiteral("7800"));
        QCOMPARE(track->Edit2->text(), QStringLiteral("7.4"));
        QCOMPARE(track->Edit3->text(), QStringLiteral("15"));
        QCOMPARE(track->UpDown2->position(), 74);
        QVERIFY(track->GroupBox1->isHidden());
        QVERIFY(track->Button7->isHidden());
        QVERIFY(track->CheckBox4->isHidden());
        QCOMPARE(track->Label13->text(), QStringLiteral("Vx = "));
        QCOMPARE(track->Label15->text(), QStringLiteral("100 %"));
        QCOMPARE(settings->Edit1->text(), QStringLiteral("10"));
        QCOMPARE(settings->Edit2->text(), QStringLiteral("1.000"));
        QCOMPARE(settings->Edit5->text(), QStringLiteral("20"));
        // The empty graph: navy background with the grid.
        QCOMPARE(track->Image1->raster().colour(5, 5), 128u << 16);  // navy (blue 128) as blue*65536+...
    }

    void frameListRules() {
        listFrames(frames.mid(0, 2));
        QCOMPARE(track->Label18->text(), u8("ファイル数 2"));
        QCOMPARE(track->ListBox1->item(1)->text(), QStringLiteral("frame02.fits"));
        dialogs->openFiles({frames[0]}, 1).acknowledge(u8("ファイル数は２つ以上必要です"));
        track->Button1Click();
        QCOMPARE(track->Label18->text(), u8("ファイル数 0"));
        QCOMPARE(track->ListBox1->count(), 0);
        QCOMPARE(track->state.FrameCount, 0);
        dialogs->acknowledge(u8("ファイルをリストアップしてください。"));
        track->Button4Click();
    }

    void parametersStayInStep() {
        track->Edit2->setText(QStringLiteral("50"));
        QCOMPARE(track->UpDown2->position(), 500);
        track->Edit2->setText(QStringLiteral("100"));
        QCOMPARE(track->UpDown2->position(), 500);
        track->UpDown2->press(platform::UpDown::Button::Up);
        QCOMPARE(track->Edit2->text(), QStringLiteral("50.1"));
        track->UpDown1->press(platform::UpDown::Button::Down);
        QCOMPARE(track->Edit1->text(), QStringLiteral("7799"));
    }

    void previewPickAndMeasure() {
        measureWithPick(150, 110);
        QCOMPARE(track->state.StarPickState, 0);
        QVERIFY(settings->CheckBox2->isChecked());
        QCOMPARE(settings->Edit3->text(), QStringLiteral("150"));
        QCOMPARE(track->state.FrameCount, 6);
        QVERIFY(track->Label13->text().startsWith(QStringLiteral("Vx = ")));
        QVERIFY(track->Label13->text().endsWith(QStringLiteral(" p/min.")));
        // The sample star starts near (150.3, 110.6) and drifts 0.35 px per frame in x.
        QVERIFY(std::abs(track->state.CentroidX[0] - 150.3) < 0.2);
        QVERIFY(std::abs(track->state.CentroidY[0] - 110.6) < 0.2);
        QVERIFY(form->Button1->isEnabled());

        // The window and the command line give the same figures.
        QStringList args{QStringLiteral("track"), QStringLiteral("--star"), QStringLiteral("150,110"),
                         QStringLiteral("--json")};
        args << frames;
        std::vector<std::string> a;
        for (const QString& s : args) a.push_back(s.toStdString());
        const test::RunResult r = test::Run(NUVAK_CLI_PATH, a);
        QCOMPARE(r.status, 0);
        const QString out = QString::fromStdString(r.out);
        QVERIFY2(out.contains(QStringLiteral("\"Label13\":\"") + track->Label13->text() + QLatin1Char('"')),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("\"Label14\":\"") + track->Label14->text() + QLatin1Char('"')),
                 qPrintable(out));
    }

    void noRemovesTheMarksAndKeepsWaiting() {
        listFrames(frames);
        dialogs->acknowledge(u8("恒星を指定してください。"));
        track->Button4Click();
        TChild* preview = form->activeChild();
        const Raster shown = preview->document().Image;
        QCOMPARE(preview->document().Image1, shown);
        // Levels four times the mean's distance above the minimum.
        QCOMPARE(form->Edit3->text().toInt(), preview->document().MIN);
        QVERIFY(!form->Button1->isEnabled());
        dialogs->answer(false);
        preview->ImageMouseDown(Qt::LeftButton, 40, 40);
        QCOMPARE(preview->document().Image, shown);
        QCOMPARE(track->state.StarPickState, -1);
        // A right click asks nothing.
        preview->ImageMouseDown(Qt::RightButton, 40, 40);
        dialogs->answer(false);
        preview->ImageMouseDown(Qt::LeftButton, 41, 40);
        QCOMPARE(track->state.StarPickState, -1);
    }

    void aFrameThatCannotBePreviewedLeavesTheWindowAsItWas() {
        const std::string tiny = dir->file("tiny.fits");
        test::WriteBytes(tiny, test::FitsBuilder::Image16(20, 20).bytes());
        listFrames({QString::fromStdString(tiny), frames[1]});
        track->show();
        dialogs->expectError(QString::fromStdString(FillMessage(msg::kOpenGridEmpty, 20, 20)));
        platform::Guarded([&] { track->Button4Click(); });
        QVERIFY(track->isVisible());
        QCOMPARE(track->state.StarPickState, 0);
        QCOMPARE(form->children().size(), 0);
        track->hide();
    }

    void aClickWhileIdleOnlyMarks_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPoint>("shown");  // the click, on the picture as shown
        QTest::addColumn<QPoint>("pixel");  // the picture pixel under it
        QTest::newRow("50 %") << 0.5 << QPoint(25, 30) << QPoint(50, 60);
        QTest::newRow("100 %") << 1.0 << QPoint(50, 60) << QPoint(50, 60);
        QTest::newRow("200 %, odd position truncated") << 2.0 << QPoint(101, 121) << QPoint(50, 60);
    }

    void aClickWhileIdleOnlyMarks() {
        QFETCH(double, zoom);
        QFETCH(QPoint, shown);
        QFETCH(QPoint, pixel);
        listFrames(frames.mid(0, 2));
        ImageDocument d;
        d.FilterI = ImageKind::Colour;
        d.DemX = d.DemY = 100;
        d.ZomN = zoom;
        d.Image = Raster(100, 100);
        for (auto& b : d.Image.bytes) b = 0;
        TChild* c = form->addChild(d);
        c->ImageMouseDown(Qt::LeftButton, shown.x(), shown.y());
        QCOMPARE(settings->Edit3->text(), QString::number(pixel.x()));
        QCOMPARE(settings->Edit4->text(), QString::number(pixel.y()));
        // Square half-size 20 round the picked pixel: its top-left corner is 20 up and left.
        QCOMPARE(c->document().Image.colour(pixel.x() - 20, pixel.y() - 20),
                 0xFFFF00u);  // cyan, blue*65536+green*256+red
        QCOMPARE(c->document().Image.colour(pixel.x(), pixel.y()), 0u);
    }

    void deletingAFrameRecomputesFromTheStoredResults() {
        measureWithPick(150, 110);
        const double third = track->state.CentroidX[2];
        track->ListBox1->setCurrentRow(1);
        track->Button2Click();
        QCOMPARE(track->state.FrameCount, 5);
        QCOMPARE(track->state.CentroidX[1], third);
        QCOMPARE(track->Label18->text(), u8("ファイル数 5"));
    }

    void graphZoomAndScale() {
        track->Button5Click();
        QCOMPARE(track->Label15->text(), QStringLiteral("200 %"));
        for (int i = 0; i < 5; ++i) track->Button6Click();
        QCOMPARE(track->Label15->text(), QStringLiteral("6 %"));
        track->Button6Click();
        QCOMPARE(track->state.GraphZoom, 0.0625);
    }

    void advancedSettingsCheckOnClose() {
        auto close = [&](const char* r, const char* c) {
            settings->Edit1->setText(QString::fromLatin1(r));
            settings->Edit2->setText(QString::fromLatin1(c));
            settings->setResult(-1);
            settings->Button2Click();
            return settings->result() == QDialog::Accepted;
        };
        QVERIFY(close("49", "2.999"));
        dialogs->acknowledge(u8("PSF半径には1～50間の数字を入力してください。"));
        QVERIFY(!close("50", "1.0"));
        dialogs->acknowledge(u8("膨張係数には0.001～3.000間の数値を入力してください。"));
        QVERIFY(!close("10", "3"));
        dialogs->acknowledge(u8("PSF半径")).acknowledge(u8("膨張係数"));
        QVERIFY(!close("0", "0.0001"));

        dialogs->openFiles({frames[0], frames[1], frames[2]}, 1);
        settings->Button1Click();
        QVERIFY(settings->CheckBox1->isChecked());
        QVERIFY(settings->ListBox1->isEnabled());
        QCOMPARE(settings->ListBox1->count(), 3);
        settings->CheckBox1->setChecked(false);
        settings->CheckBox1Click();
        QVERIFY(!settings->ListBox1->isEnabled());
        QCOMPARE(settings->ListBox1->count(), 3);

        track->state.StarPickState = -1;
        settings->CheckBox2->setChecked(false);
        settings->CheckBox2Click();
        QCOMPARE(track->state.StarPickState, 0);
    }

    void graphMarksSitWhereTheDeviationsPutThem() {
        // Two frames with centroids (10, 20) and (12, 20): deviations x = -1 and +1.
        track->state.FrameCount = 2;
        track->state.CentroidX[0] = 10;
        track->state.CentroidY[0] = 20;
        track->state.CentroidX[1] = 12;
        track->state.CentroidY[1] = 20;
        track->state.MeasuredCount = 2;
        track->RefreshGraph();
        QCOMPARE(track->Label13->text(), QStringLiteral("Vx = 8.00 p/min."));
        const Raster& g = track->Image1->raster();
        // The frame with +1 is drawn left of the centre: diamonds around (179, 150) and (181, 150),
        // whose top corners are (179, 145) and (181, 145).
        QCOMPARE(g.colour(179, 145), 0xFFFF00u);
        QCOMPARE(g.colour(181, 145), 0xFFFF00u);
        QCOMPARE(g.colour(180, 20), 128u * 65793);  // grey vertical axis
    }

    void resultsFileInShiftJis() {
        measureWithPick(150, 110);
        const QString chosen = QString::fromStdString(dir->file("result.dat"));
        dialogs->saveAs(chosen, 1);
        track->Button3Click();
        const test::Bytes bytes = test::ReadBytes(dir->file("result.txt"));
        const std::string text(bytes.begin(), bytes.end());
        QVERIFY(text.rfind("MORVEL-3 Tracking Data\r\n", 0) == 0);
        QVERIFY(text.find("\x83\x74\x83\x48\x83\x8B\x83\x5F ") != std::string::npos);  // "フォルダ " in Shift-JIS
        QVERIFY(text.find("frame06.fits      ") != std::string::npos);
    }

    // A run that stops leaves the entries of later frames from an earlier run: no figure may
    // come from them, and the bar is emptied (not left full, nor a busy indicator).
    void aStoppedRunShowsNoFiguresAndEmptiesTheBar_data() {
        QTest::addColumn<bool>("unreadable");
        QTest::addColumn<QString>("message");
        QTest::newRow("frame cut short") << true << QString();
        QTest::newRow("no star in a frame") << false << u8(msg::kTrackPsfZero);
    }
    void aStoppedRunShowsNoFiguresAndEmptiesTheBar() {
        QFETCH(bool, unreadable);
        QFETCH(QString, message);
        const std::string changing = dir->file("changing.fits");
        const test::Bytes good = test::ReadBytes(frames[3].toStdString());
        test::WriteBytes(changing, good);
        QStringList list = frames;
        list.replace(3, QString::fromStdString(changing));
        measureWithPick(150, 110, list);  // complete: every entry filled
        QVERIFY(track->Label13->text().contains(QStringLiteral("p/min.")));

        test::Bytes bad(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
        if (!unreadable)
            bad = test::FitsBuilder::Image16(320, 240)
                      .samples(320, 240, [](int, int) { return test::Stored(0); })
                      .bytes();
        test::WriteBytes(changing, bad);
        dialogs->acknowledge(u8("恒星を指定してください。"));
        track->Button4Click();
        dialogs->answer(true).acknowledge(u8("計測開始します。")).acknowledge(message);
        form->activeChild()->ImageMouseDown(Qt::LeftButton, 150, 110);
        QCOMPARE(track->ProgressBar1->minimum(), 0);
        QVERIFY(track->ProgressBar1->maximum() > 0);
        QCOMPARE(track->ProgressBar1->value(), 0);

        track->ListBox1->setCurrentRow(0);
        track->Button2Click();  // recomputes from the stored entries: none belong to this run
        QCOMPARE(track->Label13->text(), QStringLiteral("Vx = "));
        QCOMPARE(track->Label7->text(), QStringLiteral("RMS = "));
        dialogs->acknowledge(u8(msg::kTrackMeasureFirst));
        track->Button3Click();
    }

    void theHighlightFollowsTheKeyboard() {
        measureWithPick(150, 110);
        track->ListBox1->setCurrentRow(0);
        track->ListBox1Click();
        const Raster plain = [&] {
            track->RefreshGraph();
            return track->Image1->raster();
        }();
        QTest::keyClick(track->ListBox1, Qt::Key_Down);
        QCOMPARE(track->ListBox1->currentRow(), 1);
        const Raster byKey = track->Image1->raster();
        QVERIFY(byKey != plain);
        track->ListBox1Click();
        QCOMPARE(track->Image1->raster(), byKey);
    }

    // The full configuration shows the results panel; its "保存" writes the results file.
    void fullConfigurationOffersTheResults() {
        useFullConfiguration();
        for (QWidget* w :
             std::initializer_list<QWidget*>{track->GroupBox1, track->Button3, track->GroupBox3, track->CheckBox3,
                                             track->CheckBox6, track->CheckBox4, track->CheckBox5, track->Button7})
            QVERIFY2(w->isVisibleTo(track), qPrintable(w->objectName()));
        measureWithPick(150, 110);
        QVERIFY(track->Label7->text().endsWith(QStringLiteral(" pxls")));
        dialogs->saveAs(QString::fromStdString(dir->file("full.txt")), 1);
        track->Button3->click();
        QVERIFY(!test::ReadBytes(dir->file("full.txt")).empty());
    }

    // After a run in the full configuration every control lies inside its group's contents
    // and every caption and figure fits its control, with the Latin fallback font and with
    // the Japanese desktop's font standing in for the window's.
    void fullConfigurationLaysEverythingOutUnclipped() {
        for (const char* family : {"", "Noto Sans CJK JP"}) {
            if (*family) QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QString::fromUtf8(family));
            useFullConfiguration();
            measureWithPick(150, 110);
            track->ensurePolished();
            const QString where = QStringLiteral(" (font %1)").arg(QString::fromUtf8(family));
            QVERIFY(track->Label12->text().endsWith(QStringLiteral(" pxls")));
            for (QGroupBox* box : track->findChildren<QGroupBox*>()) {
                if (!box->isVisibleTo(track)) continue;
                for (QWidget* w : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    if (!w->isVisibleTo(track)) continue;
                    const QString name = box->objectName() + QLatin1Char('/') + w->objectName() + where;
                    QVERIFY2(box->contentsRect().contains(w->geometry()), qPrintable(name));
                    const QFontMetrics fm(w->font());
                    if (auto* label = qobject_cast<QLabel*>(w)) {
                        QVERIFY2(fm.horizontalAdvance(label->text()) <= label->contentsRect().width() &&
                                     fm.height() <= label->height(),
                                 qPrintable(name + QStringLiteral(": \"%1\" %2 x %3 in %4 x %5 of %6")
                                                       .arg(label->text())
                                                       .arg(fm.horizontalAdvance(label->text()))
                                                       .arg(fm.height())
                                                       .arg(label->contentsRect().width())
                                                       .arg(label->height())
                                                       .arg(w->font().family())));
                    } else if (auto* check = qobject_cast<QCheckBox*>(w); check || qobject_cast<QRadioButton*>(w)) {
                        // The indicator, its spacing and the caption.
                        const QStyle* st = w->style();
                        const int indicator = check
                                                  ? st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                                                        st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w)
                                                  : st->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                                                        st->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
                        const QString text = qobject_cast<QAbstractButton*>(w)->text();
                        QVERIFY2(indicator + fm.horizontalAdvance(text) <= w->width() && fm.height() <= w->height(),
                                 qPrintable(name));
                    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                        QVERIFY2(fm.horizontalAdvance(button->text()) + 8 <= button->width() &&
                                     fm.height() + 4 <= button->height(),
                                 qPrintable(name));
                    }
                }
            }
            QFont::removeSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"));
        }
    }

    // Its "レポート" writes the report page of the run and asks the browser to open it.
    void fullConfigurationWritesAndOpensTheReport() {
        useFullConfiguration();
        QVERIFY(track->Button8->isVisibleTo(track));
        dialogs->acknowledge(u8(msg::kTrackMeasureFirst));
        track->Button8->click();
        measureWithPick(150, 110);
        dialogs->saveAs(QString::fromStdString(dir->file("night.htm")), 1);
        track->Button8->click();
        QCOMPARE(dialogs->lastRequest.filter, QStringLiteral("HTML(*.html)|*.html"));
        const std::string page = dir->file("night.html");
        const test::Bytes bytes = test::ReadBytes(page);
        QVERIFY(std::string(bytes.begin(), bytes.end()).rfind("<!DOCTYPE html>", 0) == 0);
        // The window's report keeps the window's scale, and says so.
        QVERIFY(std::string(bytes.begin(), bytes.end()).find("追尾ウィンドウの焦点距離と画素サイズ") !=
                std::string::npos);
        QCOMPARE(dialogs->urls, QStringList{QUrl::fromLocalFile(QString::fromStdString(page)).toString()});
        // A system that cannot open the page: a message names the written file.
        dialogs->urlOpens = false;
        dialogs->saveAs(QString::fromStdString(page), 1)
            .answer(true, u8(msg::kOverwriteQuestion))
            .acknowledge(u8("レポートを書き出しました: ") + QString::fromStdString(page));
        track->Button8->click();

        // Frames too large for the window's run: the run stops with its message, and the
        // report measures them itself with the picked star.
        SampleSeries wide;
        wide.frames = 3;
        wide.width = 4100;
        wide.height = 40;
        wide.startX = 4050.3;
        wide.startY = 20.2;
        QStringList wideFrames;
        for (const std::string& f : WriteSampleSeries(dir->file("wide"), wide)) wideFrames << QString::fromStdString(f);
        listFrames(wideFrames);
        dialogs->acknowledge(u8("恒星を指定してください。"));
        track->Button4Click();
        QVERIFY(form->activeChild());
        dialogs->answer(true, QStringLiteral("X = 4050, Y = 20 を指定しました。　よろしいですか？"))
            .acknowledge(u8("計測開始します。"))
            .acknowledge(u8(msg::kTrackTooLarge));
        form->activeChild()->ImageMouseDown(Qt::LeftButton, 4050, 20);
        QVERIFY(!track->state.measured());
        const std::string widePage = dir->file("wide.html");
        dialogs->urlOpens = true;
        dialogs->saveAs(QString::fromStdString(widePage), 1);
        track->Button8->click();
        const test::Bytes wideBytes = test::ReadBytes(widePage);
        const std::string wideText(wideBytes.begin(), wideBytes.end());
        QVERIFY(wideText.find("使用したフレーム") != std::string::npos);
        QVERIFY2(wideText.find("星を見失ったフレーム") == std::string::npos, "every wide frame is measured");
    }
};

QTEST_MAIN(TrackingTest)
#include "tracking_test.moc"
