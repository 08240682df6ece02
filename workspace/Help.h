#pragma once
// The help viewer: a topic tree on the left, the text of the chosen topic's help file on
// the right. A modeless window created once and shown on request.

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace nuvak {

class THLP : public QWidget {
    Q_OBJECT
public:
    // Item data role under which each tree node keeps its topic number.
    static constexpr int TopicRole = Qt::UserRole;

    explicit THLP(QWidget* parent = nullptr);

    // A click in the tree: shows the help file of the selected node's topic. Topic 0 clears
    // the pane; a missing file leaves the pane as it was.
    void TreeView1Click();

    // Selects the node with this topic number and handles it as a click. False when no
    // node carries the number.
    bool selectTopic(int topic);

    // The number of the help file of a topic ("Help/help<N>.txt"), or -1 for a topic
    // without a file (0 and unknown numbers).
    static int HelpFileNumber(int topic);
    // Where the help file of a topic is found: first under currentDir, then under exeDir
    // (the folder of the installed program). Empty when the topic has no file or neither
    // folder holds it.
    static QString HelpFilePath(int topic, const QString& currentDir, const QString& exeDir);

    QWidget* Panel1;
    QTreeWidget* TreeView1;
    QPlainTextEdit* Memo1;

private:
    void buildTopics();
};

}  // namespace nuvak
