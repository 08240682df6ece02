// The help viewer's topic tree and file lookup, the help texts shipped in Help/, and the
// splash, about and progress windows.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "platform/controls.h"
#include "tests/support/files.h"
#include "workspace/About.h"
#include "workspace/Help.h"
#include "workspace/State1.h"
#include "workspace/Title1.h"

using nuvak::THLP;

namespace {

QString PathOf(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

void WriteText(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(text.toUtf8());
}

// Makes a folder the current one for the lifetime of the guard.
class CurrentDir {
public:
    explicit CurrentDir(const QString& folder) : saved_(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~CurrentDir() { QDir::setCurrent(saved_); }

private:
    QString saved_;
};

// "caption=topic(children...)" for a node and everything under it.
QString Outline(const QTreeWidgetItem* node) {
    QString text = node->text(0) + u'=' + QString::number(node->data(0, THLP::TopicRole).toInt());
    if (node->childCount() == 0) return text;
    QStringList children;
    for (int i = 0; i < node->childCount(); ++i) children << Outline(node->child(i));
    return text + u'(' + children.join(u',') + u')';
}

QList<int> TopicsOf(const QTreeWidget* tree) {
    QList<int> topics;
    std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* node) {
        topics << node->data(0, THLP::TopicRole).toInt();
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i));
    return topics;
}

QTreeWidgetItem* NodeOf(const QTreeWidget* tree, const QString& caption) {
    const QList<QTreeWidgetItem*> found = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
}

const QString kAccuracyText = QString::fromUtf8("精度の説明\n二行目：重心の精度\n");

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void windowIsBuiltAsTheLayoutSays();
    void treeHoldsTheTopicsWithTheirNumbers();
    void menuNodeEmptiesThePane();
    void accuracyShowsItsFileAndKeepsThePaneWhenTheFileIsMissing();
    void topicsOneAndTwoUseFilesTwoAndThree();
    void advancedSettingsLoadsHelp41();
    void userClickInTheTreeShowsTheTopic();
    void helpFilesAreFoundBesideTheProgram();
    void everyTopicHasAHelpFileInTheRepository();

    void splashClosesOnItsTimer();
    void splashClosesOnAClickOnThePicture();
    void aboutAndStateWindowsStartHidden();
};

void HelpTest::cleanup() {
    const QWidgetList left = QApplication::topLevelWidgets();
    QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("%1 top-level windows left over").arg(left.size())));
}

void HelpTest::windowIsBuiltAsTheLayoutSays() {
    THLP help;
    QVERIFY(help.isWindow());
    QVERIFY(!help.isVisible());
    QCOMPARE(help.windowTitle(), QString::fromUtf8("ヘルプ"));
    QCOMPARE(help.size(), QSize(449, 315));

    auto* tree = help.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    auto* memo = help.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QVERIFY(tree && memo);
    QCOMPARE(tree->size(), QSize(177, 281));
    QCOMPARE(tree->indentation(), 19);
    QVERIFY(tree->isHeaderHidden());
    QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(memo->x(), 184);
    QCOMPARE(memo->size(), QSize(257, 281));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(memo->toPlainText().isEmpty());
}

void HelpTest::treeHoldsTheTopicsWithTheirNumbers() {
    THLP help;
    QCOMPARE(help.TreeView1->topLevelItemCount(), 3);
    QStringList roots;
    for (int i = 0; i < 3; ++i) roots << Outline(help.TreeView1->topLevelItem(i));
    const QStringList expected{
        QString::fromUtf8("メニュー=0(ファイル=11,計測=12(追尾計測=21(ファイル=31,"
                          "パラメータ設定=32(高度な設定=41),結果=33)),ウィンドウ=13,"
                          "バージョン=14,ヘルプ=16)"),
        QString::fromUtf8("撮影について=1"),
        QString::fromUtf8("精度=2"),
    };
    QCOMPARE(roots, expected);

    QVERIFY(!help.selectTopic(99));
    QVERIFY(!help.selectTopic(3));
}

void HelpTest::menuNodeEmptiesThePane() {
    THLP help;
    help.Memo1->setPlainText(QStringLiteral("earlier topic"));
    QVERIFY(help.selectTopic(0));
    QCOMPARE(help.TreeView1->currentItem()->text(0), QString::fromUtf8("メニュー"));
    QVERIFY(help.Memo1->toPlainText().isEmpty());
}

void HelpTest::accuracyShowsItsFileAndKeepsThePaneWhenTheFileIsMissing() {
    nuvak::test::TempDir dir;
    const QString folder = PathOf(dir.path());
    const QString file = folder + QStringLiteral("/Help/help3.txt");
    WriteText(file, kAccuracyText);
    CurrentDir here(folder);

    THLP help;
    QVERIFY(help.selectTopic(2));
    QCOMPARE(help.TreeView1->currentItem()->text(0), QString::fromUtf8("精度"));
    QCOMPARE(help.Memo1->toPlainText(), kAccuracyText);

    // Without the file the pane keeps what it showed, whatever that was.
    QVERIFY(QFile::remove(file));
    help.Memo1->setPlainText(QStringLiteral("kept"));
    QVERIFY(help.selectTopic(2));
    QCOMPARE(help.Memo1->toPlainText(), QStringLiteral("kept"));
    QVERIFY(help.selectTopic(0));
    QVERIFY(help.selectTopic(2));
    QVERIFY(help.Memo1->toPlainText().isEmpty());
}

void HelpTest::topicsOneAndTwoUseFilesTwoAndThree() {
    // A file named after the topic number itself must not be taken for topics 1 and 2.
    nuvak::test::TempDir dir;
    const QString folder = PathOf(dir.path());
    WriteText(folder + QStringLiteral("/Help/help1.txt"), QStringLiteral("file 1"));
    WriteText(folder + QStringLiteral("/Help/help2.txt"), QStringLiteral("file 2"));
    WriteText(folder + QStringLiteral("/Help/help3.txt"), QStringLiteral("file 3"));
    CurrentDir here(folder);

    THLP help;
    QVERIFY(help.selectTopic(1));
    QCOMPARE(help.Memo1->toPlainText(), QStringLiteral("file 2"));
    QVERIFY(help.selectTopic(2));
    QCOMPARE(help.Memo1->toPlainText(), QStringLiteral("file 3"));
}

void HelpTest::advancedSettingsLoadsHelp41() {
    nuvak::test::TempDir dir;
    const QString folder = PathOf(dir.path());
    // A byte order mark and Windows line ends, as an editor there may save the file.
    QDir().mkpath(folder + QStringLiteral("/Help"));
    {
        QFile file(folder + QStringLiteral("/Help/help41.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF");
        file.write(QString::fromUtf8("高度な設定\r\nPSF半径\r\n").toUtf8());
    }
    WriteText(folder + QStringLiteral("/Help/help32.txt"), QStringLiteral("parameters"));
    CurrentDir here(folder);

    THLP help;
    QVERIFY(help.selectTopic(41));
    QCOMPARE(help.TreeView1->currentItem()->text(0), QString::fromUtf8("高度な設定"));
    QCOMPARE(help.TreeView1->currentItem()->parent()->text(0), QString::fromUtf8("パラメータ設定"));
    QCOMPARE(help.Memo1->toPlainText(), QString::fromUtf8("高度な設定\nPSF半径\n"));
}

void HelpTest::userClickInTheTreeShowsTheTopic() {
    nuvak::test::TempDir dir;
    const QString folder = PathOf(dir.path());
    WriteText(folder + QStringLiteral("/Help/help3.txt"), kAccuracyText);
    CurrentDir here(folder);

    auto help = std::make_unique<THLP>();
    help->show();
    QVERIFY(QTest::qWaitForWindowExposed(help.get()));
    QTreeWidget* tree = help->TreeView1;
    QTreeWidgetItem* accuracy = NodeOf(tree, QString::fromUtf8("精度"));
    QVERIFY(accuracy);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(accuracy).center());
    QCOMPARE(help->Memo1->toPlainText(), kAccuracyText);

    QTreeWidgetItem* menu = NodeOf(tree, QString::fromUtf8("メニュー"));
    QVERIFY(menu);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(menu).center());
    QVERIFY(help->Memo1->toPlainText().isEmpty());
}

void HelpTest::helpFilesAreFoundBesideTheProgram() {
    nuvak::test::TempDir current;
    nuvak::test::TempDir program;
    // Qt's own form of a path, with '/' on every system.
    const QString here = QDir::fromNativeSeparators(PathOf(current.path()));
    const QString exe = QDir::fromNativeSeparators(PathOf(program.path()));
    const QString besideProgram = exe + QStringLiteral("/Help/help41.txt");
    WriteText(besideProgram, QStringLiteral("installed"));

    QCOMPARE(THLP::HelpFilePath(41, here, exe), besideProgram);
    QCOMPARE(THLP::HelpFilePath(32, here, exe), QString());
    // Topic 0 and numbers outside the tree have no file even if one is lying there.
    WriteText(exe + QStringLiteral("/Help/help0.txt"), QStringLiteral("none"));
    WriteText(exe + QStringLiteral("/Help/help99.txt"), QStringLiteral("none"));
    QCOMPARE(THLP::HelpFilePath(0, here, exe), QString());
    QCOMPARE(THLP::HelpFilePath(99, here, exe), QString());

    // The current folder comes first.
    const QString inCurrent = here + QStringLiteral("/Help/help41.txt");
    WriteText(inCurrent, QStringLiteral("local"));
    QCOMPARE(THLP::HelpFilePath(41, here, exe), inCurrent);

    // A folder of that name is not a help file.
    QDir().mkpath(here + QStringLiteral("/Help/help33.txt"));
    WriteText(exe + QStringLiteral("/Help/help33.txt"), QStringLiteral("results"));
    QCOMPARE(THLP::HelpFilePath(33, here, exe), exe + QStringLiteral("/Help/help33.txt"));
}

void HelpTest::everyTopicHasAHelpFileInTheRepository() {
    const QString source = qEnvironmentVariable("NUVAK_SOURCE_DIR");
    QVERIFY2(!source.isEmpty(), "NUVAK_SOURCE_DIR names the repository root");

    THLP help;
    const QList<int> topics = TopicsOf(help.TreeView1);
    QCOMPARE(topics.size(), 13);
    for (int topic : topics) {
        const int number = THLP::HelpFileNumber(topic);
        if (topic == 0) {
            QCOMPARE(number, -1);
            continue;
        }
        const QString path = THLP::HelpFilePath(topic, source, QString());
        QVERIFY2(!path.isEmpty(), qPrintable(QStringLiteral("no help file for topic %1").arg(topic)));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QStringDecoder decode(QStringDecoder::Utf8);
        const QString text = decode(bytes);
        QVERIFY2(!decode.hasError(), qPrintable(path + QStringLiteral(" is not valid UTF-8")));
        // A real text, not a stub: several lines of Japanese.
        QVERIFY2(text.size() >= 200, qPrintable(path + QStringLiteral(" is too short")));
        QVERIFY2(text.count(u'\n') >= 4, qPrintable(path));
        QVERIFY2(text.contains(u'。'), qPrintable(path));
    }
}

void HelpTest::splashClosesOnItsTimer() {
    auto title = std::make_unique<nuvak::TTitle>();
    QVERIFY(!title->isVisible());
    QCOMPARE(title->windowTitle(), QStringLiteral("Title"));
    QVERIFY(title->windowFlags() & Qt::WindowStaysOnTopHint);
    auto* picture = title->findChild<nuvak::platform::Picture*>(QStringLiteral("Image1"));
    QVERIFY(picture);
    QCOMPARE(picture->raster().width, 600);
    QCOMPARE(picture->raster().height, 400);
    QCOMPARE(title->size(), QSize(600, 400));

    // The version lines change the picture where they are written (give or take a pixel of
    // smoothing at the glyph edges) and nowhere else.
    const nuvak::Raster background = nuvak::platform::FromQImage(nuvak::TTitle::Background());
    int changedInText = 0, changedElsewhere = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x) {
            if (background.colour(x, y) == picture->raster().colour(x, y)) continue;
            (x >= 348 && y >= 248 && y < 280 ? changedInText : changedElsewhere)++;
        }
    }
    QVERIFY(changedInText > 20);
    QCOMPARE(changedElsewhere, 0);

    auto* timer = title->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 2000);
    timer->setInterval(20);
    title->show();
    QVERIFY(title->isVisible());
    QTRY_VERIFY(!title->isVisible());
    QVERIFY(!timer->isActive());
}

void HelpTest::splashClosesOnAClickOnThePicture() {
    auto title = std::make_unique<nuvak::TTitle>();
    title->Timer1->stop();
    title->show();
    QVERIFY(QTest::qWaitForWindowExposed(title.get()));
    QTest::mouseClick(title->Image1, Qt::RightButton, {}, QPoint(300, 200));
    QVERIFY(title->isVisible());
    QTest::mouseClick(title->Image1, Qt::LeftButton, {}, QPoint(300, 200));
    QVERIFY(!title->isVisible());
}

void HelpTest::aboutAndStateWindowsStartHidden() {
    nuvak::TAboutBox about;
    QVERIFY(!about.isVisible());
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    QStringList texts;
    for (const QLabel* label : labels) texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("Nuvak")), qPrintable(texts.join(u'|')));
    QVERIFY2(texts.join(u'|').contains(QStringLiteral("3.01b")), qPrintable(texts.join(u'|')));

    nuvak::TState state;
    QVERIFY(state.isWindow());
    QVERIFY(!state.isVisible());
    QCOMPARE(state.windowTitle(), QStringLiteral("State"));
    auto* group = state.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Statement"));
    QVERIFY(group->findChild<QLabel*>(QStringLiteral("Label1")));
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
