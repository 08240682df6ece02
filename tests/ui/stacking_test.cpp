// The composite, mosaic and spectrum commands through their menu items and dialogs: which
// window each leaves behind. The arithmetic itself is tested without windows.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "platform/controls.h"
#include "stacking/Comp1.h"
#include "stacking/Mozaiccomp.h"
#include "stacking/SpDraw.h"
#include "stacking/composite.h"
#include "stacking/spectrum.h"
#include "tests/support/files.h"
#include "tests/support/ui/scripted_services.h"
#include "workspace/Child.h"
#include "workspace/Morvel2.h"
#include "workspace/Startup.h"

using namespace nuvak;
using nuvak::test::ScriptedServices;

namespace {

// The scripted services with one addition: what the user does inside the next modal dialog
// before it closes.
class InsideModal final : public platform::Services {
public:
    explicit InsideModal(ScriptedServices& s) : s_(s), previous_(platform::setServices(this)) {}
    ~InsideModal() override { platform::setServices(previous_); }
    std::function<void()> user;

    void message(QWidget* p, const QString& t) override { s_.message(p, t); }
    bool confirm(QWidget* p, const QString& t) override { return s_.confirm(p, t); }
    void errorBox(const QString& t) override { s_.errorBox(t); }
    platform::FileDialogResult openDialog(QWidget* p, const platform::FileDialogRequest& r) override {
        return s_.openDialog(p, r);
    }
    platform::FileDialogResult saveDialog(QWidget* p, const platform::FileDialogRequest& r) override {
        return s_.saveDialog(p, r);
    }
    int showModal(QDialog* d) override {
        if (user) std::exchange(user, {})();
        return s_.showModal(d);
    }
    int memoryLoad() override { return s_.memoryLoad(); }

private:
    ScriptedServices& s_;
    platform::Services* previous_;
};

// "a b c" as the list a, b, c.
QStringList Names(const char* spaced) {
    return QString::fromLatin1(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

}  // namespace

class StackingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<ScriptedServices> dialogs;
    std::unique_ptr<InsideModal> inside;

    // An image window of one grey value.
    void open(const char* caption, int w, int h, int value) {
        Raster r(w, h);
        std::fill(r.bytes.begin(), r.bytes.end(), std::uint8_t(value));
        ImageDocument d = NewPictureDocument(std::move(r));
        d.caption = caption;
        form->addChild(std::move(d));
    }
    void trigger(const char* item) {
        QAction* action = form->findChild<QAction*>(QString::fromLatin1(item));
        QVERIFY(action && action->isVisible() && action->isEnabled());
        action->trigger();
    }

private slots:
    void init() {
        dialogs = std::make_unique<ScriptedServices>();
        inside = std::make_unique<InsideModal>(*dialogs);
        SetConfiguration(Configuration::Full);
        form = CreateWindows();
        SetConfiguration(Configuration::Standard);
    }

    void cleanup() {
        QVERIFY2(dialogs->done(), "a scripted dialog was not shown");
        form.reset();
        inside.reset();
        dialogs.reset();
    }

    // Steps "B:rows" select rows of the button's source list, then press button B.
    void compositeListMoves_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("right");
        QTest::newRow(">>> keeps list order") << Names("1:2,0") << Names("b d") << Names("a c");
        QTest::newRow("all, then <<< one") << Names("5: 2:1") << Names("b") << Names("a c d");
        QTest::newRow("remove all appends") << Names("1:0,2 6:") << Names("b d a c") << Names("");
    }
    void compositeListMoves() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, left);
        QFETCH(QStringList, right);
        TComposite* c = form->compositeWindow;
        c->Prepare(Names("a b c d"));
        QCOMPARE(c->Edit1->text(), QStringLiteral("4"));
        for (const QString& step : steps) {
            const int button = step.section(QLatin1Char(':'), 0, 0).toInt();
            QListWidget* from = button == 2 || button == 6 ? c->ListBox2 : c->ListBox1;
            from->clearSelection();
            for (const QString& row : step.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
                from->item(row.toInt())->setSelected(true);
            if (button == 1) c->Button1Click();
            if (button == 2) c->Button2Click();
            if (button == 5) c->Button5Click();
            if (button == 6) c->Button6Click();
        }
        QCOMPARE(Entries(c->ListBox1), left);
        QCOMPARE(Entries(c->ListBox2), right);
        QCOMPARE(c->Edit1->text(), QString::number(left.size()));
        QCOMPARE(c->Edit2->text(), QString::number(right.size()));
    }

    // Every method button of the dialog reaches its method: three pictures of 10, 11 and 250.
    void compositeMakesNewWindow_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("value");
        QTest::newRow("平均") << 1 << 90;
        QTest::newRow("加算") << 2 << 255;
        QTest::newRow("最大値") << 3 << 250;
        QTest::newRow("最小値") << 4 << 10;
        QTest::newRow("期待値") << 5 << 11;
    }
    void compositeMakesNewWindow() {
        QFETCH(int, method);
        QFETCH(int, value);
        open("p0", 3, 2, 10);
        open("p1", 3, 2, 11);
        open("p2", 3, 2, 250);
        TComposite* c = form->compositeWindow;
        inside->user = [c, method] {
            c->Button5Click();
            c->findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(method))->setChecked(true);
            c->Button3Click();
        };
        dialogs->closeModal(QDialog::Accepted);
        trigger("C1");
        QCOMPARE(form->children().size(), 4);
        const ImageDocument& made = form->activeChild()->document();
        QCOMPARE(made.caption, std::string("New"));
        QCOMPARE(made.DemX, 3);
        QCOMPARE(int(made.Image.pixel(2, 1)[1]), value);
        QCOMPARE(form->activeChild()->Image->raster(), made.Image);
        QCOMPARE(form->Edit2->text(), QStringLiteral("255"));
        QCOMPARE(form->ProgressBar1->value(), 0);
    }

    // Cancel after moving entries, and a picture of another size: no window.
    void compositeCreatesNothing_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancel") << true << QString();
        QTest::newRow("size differs") << false << QStringLiteral("（4 × 2）が最初の画像の大きさ（3 × 2）");
    }
    void compositeCreatesNothing() {
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        open("p0", 3, 2, 10);
        open("p1", 4, 2, 11);
        TComposite* c = form->compositeWindow;
        inside->user = [c, cancel] {
            c->Button5Click();
            cancel ? c->Button4Click() : c->Button3Click();
        };
        dialogs->closeModal(cancel ? QDialog::Rejected : QDialog::Accepted);
        if (!message.isEmpty()) dialogs->acknowledge(message);
        trigger("C1");
        QCOMPARE(form->children().size(), 2);
        QCOMPARE(c->Edit2->text(), cancel ? QStringLiteral("0") : QStringLiteral("2"));
        QCOMPARE(form->ProgressBar1->value(), 0);
    }

    // Windows of 2 x 2 (value 10) and 3 x 1 (value 20): cells of 3 x 2; uncovered parts white.
    void mosaic_data() {
        QTest::addColumn<QString>("across");
        QTest::addColumn<QString>("down");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QSize>("size");     // empty: no window
        QTest::addColumn<QPoint>("second");  // top left of window 1 in the mosaic
        QTest::newRow("defaults") << ""
                                  << "" << false << "" << QSize(3, 4) << QPoint(0, 2);
        QTest::newRow("side by side") << "2"
                                      << "1" << false << "" << QSize(6, 2) << QPoint(3, 0);
        QTest::newRow("cancel") << ""
                                << "" << true << "" << QSize() << QPoint();
        QTest::newRow("zero") << "0"
                              << "" << false << "（0 × 2）" << QSize() << QPoint();
        QTest::newRow("negative") << "-1"
                                  << "-2" << false << "（-1 × -2）" << QSize() << QPoint();
    }
    void mosaic() {
        QFETCH(QString, across);
        QFETCH(QString, down);
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        QFETCH(QSize, size);
        QFETCH(QPoint, second);
        open("p0", 2, 2, 10);
        open("p1", 3, 1, 20);
        TMscomp* m = form->mosaicWindow;
        inside->user = [=] {
            QCOMPARE(Entries(m->ListBox1), Names("p0 p1"));
            QCOMPARE(m->Edit2->text(), QStringLiteral("2"));
            if (!across.isEmpty()) m->Edit1->setText(across);
            if (!down.isEmpty()) m->Edit2->setText(down);
            cancel ? m->Button2Click() : m->Button1Click();
        };
        dialogs->closeModal(cancel ? QDialog::Rejected : QDialog::Accepted);
        if (!message.isEmpty()) dialogs->acknowledge(message);
        trigger("M2");
        QCOMPARE(form->children().size(), size.isEmpty() ? 2 : 3);
        if (size.isEmpty()) return;
        const ImageDocument& made = form->activeChild()->document();
        QCOMPARE(made.caption, std::string("New"));
        QCOMPARE(QSize(made.DemX, made.DemY), size);
        QCOMPARE(int(made.Image.pixel(0, 0)[0]), 10);
        QCOMPARE(int(made.Image.pixel(second.x(), second.y())[0]), 20);
        QCOMPARE(int(made.Image.pixel(2, 0)[0]), 255);
        QCOMPARE(int(made.Image.pixel(size.width() - 1, size.height() - 1)[0]), 255);
    }

    // The plot is drawn whether or not the data file can be written; a failure names the file,
    // and a missing folder is not made.
    void spectrum_data() {
        QTest::addColumn<QString>("folder");  // what stands at ~/data
        QTest::newRow("written") << "folder";
        QTest::newRow("no folder") << "";
        QTest::newRow("a file there") << "file";
    }
    void spectrum() {
        QFETCH(QString, folder);
        const bool writable = folder == QStringLiteral("folder");
#ifdef _WIN32
        // The data file's place is fixed on Windows: only its refusal where d:\data is missing
        // can be seen without writing to the machine's own drive.
        std::error_code missing;
        if (!folder.isEmpty() || std::filesystem::exists("d:\\data", missing))
            QSKIP("the data file's folder on Windows is the machine's d:\\data");
#endif
        test::TempDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.path().string()));
        if (writable) std::filesystem::create_directory(home.file("data"));
        if (folder == QStringLiteral("file")) test::WriteBytes(home.file("data"), test::BytesOf("not a folder"));
        open("spectrum", 4, 3, 51);  // mean 51 plots at (1 - 0.2) * 393 = 314
#ifdef _WIN32
        const QString path = QString::fromStdString(SpectrumDataPath());
#else
        const QString path = QString::fromStdString(home.file("data/SPN"));
#endif
        if (!writable) dialogs->acknowledge(path);
        trigger("P3");
        qputenv("HOME", oldHome);
        QCOMPARE(std::filesystem::exists(home.file("data")), !folder.isEmpty());
        TSpDraw* s = form->spectrumWindow;
        QVERIFY(s->isVisible());
        QCOMPARE(s->Edit2->text(), QStringLiteral("4"));
        QCOMPARE(s->Edit4->text(), QStringLiteral("3"));
        QCOMPARE(s->Image1->raster().colour(200, 314), 0xFFu);  // red, as blue * 65536 + green * 256 + red
        QCOMPARE(s->Image1->raster().colour(0, 100), 0u);       // the black frame
        if (writable) {
            const test::Bytes text = test::ReadBytes(path.toStdString());
            QCOMPARE(std::string(text.begin(), text.end()), SpectrumDataText({51, 51, 51, 51}));
        }
    }
};

QTEST_MAIN(StackingTest)
#include "stacking_test.moc"
