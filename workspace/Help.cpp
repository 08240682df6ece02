#include "workspace/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStringDecoder>
#include <QTreeWidget>
#include <optional>
#include <vector>

namespace nuvak {

namespace {

// One node of the topic tree: caption, topic number, children.
struct Topic {
    const char* caption;
    int number;
    std::vector<Topic> children;
};

QTreeWidgetItem* AddTopic(const Topic& topic, QTreeWidgetItem* item) {
    item->setText(0, QString::fromUtf8(topic.caption));
    item->setData(0, THLP::TopicRole, topic.number);
    for (const Topic& child : topic.children) AddTopic(child, new QTreeWidgetItem(item));
    return item;
}

QTreeWidgetItem* FindTopic(QTreeWidgetItem* item, int topic) {
    if (item->data(0, THLP::TopicRole).toInt() == topic) return item;
    for (int i = 0; i < item->childCount(); ++i) {
        if (QTreeWidgetItem* found = FindTopic(item->child(i), topic)) return found;
    }
    return nullptr;
}

// The text of a help file, or nothing when it cannot be read. A byte order mark is dropped.
std::optional<QString> ReadHelpText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8);
    return QString(decode(file.readAll()));
}

}  // namespace

THLP::THLP(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("ヘルプ"));
    setFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
    setFixedSize(449, 315);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 449, 315);

    TreeView1 = new QTreeWidget(Panel1);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(4, 4, 177, 281);
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setIndentation(19);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(184, 4, 257, 281);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Japanese lines have no spaces to break at.
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    buildTopics();
    connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { TreeView1Click(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.x() + desktop.width() / 2 - width() / 2, desktop.y() + desktop.height() / 2 - height() / 2);
    }
}

void THLP::buildTopics() {
    const Topic menu{"メニュー",
                     0,
                     {
                         {"ファイル", 11, {}},
                         {"計測",
                          12,
                          {
                              {"追尾計測",
                               21,
                               {
                                   {"ファイル", 31, {}},
                                   {"パラメータ設定", 32, {{"高度な設定", 41, {}}}},
                                   {"結果", 33, {}},
                               }},
                          }},
                         {"ウィンドウ", 13, {}},
                         {"バージョン", 14, {}},
                         {"ヘルプ", 16, {}},
                     }};
    TreeView1->addTopLevelItem(AddTopic(menu, new QTreeWidgetItem));
    TreeView1->addTopLevelItem(AddTopic({"撮影について", 1, {}}, new QTreeWidgetItem));
    TreeView1->addTopLevelItem(AddTopic({"精度", 2, {}}, new QTreeWidgetItem));
    TreeView1->expandAll();
}

int THLP::HelpFileNumber(int topic) {
    switch (topic) {
        case 1: return 2;
        case 2: return 3;
        case 11:
        case 12:
        case 13:
        case 14:
        case 16:
        case 21:
        case 31:
        case 32:
        case 33:
        case 41: return topic;
        default: return -1;
    }
}

QString THLP::HelpFilePath(int topic, const QString& currentDir, const QString& exeDir) {
    const int number = HelpFileNumber(topic);
    if (number < 0) return {};
    const QString name = QStringLiteral("Help/help%1.txt").arg(number);
    for (const QString& folder : {currentDir, exeDir}) {
        if (folder.isEmpty()) continue;
        QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

void THLP::TreeView1Click() {
    const QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) return;
    const int topic = node->data(0, TopicRole).toInt();
    if (topic == 0) {
        Memo1->clear();
        return;
    }
    const QString path = HelpFilePath(topic, QDir::currentPath(), QCoreApplication::applicationDirPath());
    if (path.isEmpty()) return;
    if (const std::optional<QString> text = ReadHelpText(path)) Memo1->setPlainText(*text);
}

bool THLP::selectTopic(int topic) {
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        if (QTreeWidgetItem* node = FindTopic(TreeView1->topLevelItem(i), topic)) {
            TreeView1->setCurrentItem(node);
            TreeView1Click();
            return true;
        }
    }
    return false;
}

}  // namespace nuvak
