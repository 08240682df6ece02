#include "tests/support/ui/scripted_services.h"

#include <QDialog>
#include <QTest>

namespace nuvak::test {

namespace {

const char* kindName(int k) {
    static const char* names[] = {"open dialog", "save dialog", "confirmation", "message", "error box", "modal dialog"};
    return names[k];
}

}  // namespace

ScriptedServices::ScriptedServices() : previous_(platform::setServices(this)) {}

ScriptedServices::~ScriptedServices() { platform::setServices(previous_ == this ? nullptr : previous_); }

ScriptedServices& ScriptedServices::openFiles(const QStringList& files, int filterIndex) {
    queue_.push_back(Step{Kind::Open, true, files, filterIndex, {}, 0});
    return *this;
}
ScriptedServices& ScriptedServices::cancelOpen() {
    queue_.push_back(Step{Kind::Open, false, {}, 1, {}, 0});
    return *this;
}
ScriptedServices& ScriptedServices::saveAs(const QString& file, int filterIndex) {
    queue_.push_back(Step{Kind::Save, true, {file}, filterIndex, {}, 0});
    return *this;
}
ScriptedServices& ScriptedServices::cancelSave() {
    queue_.push_back(Step{Kind::Save, false, {}, 1, {}, 0});
    return *this;
}
ScriptedServices& ScriptedServices::answer(bool yes, const QString& contains) {
    queue_.push_back(Step{Kind::Confirm, yes, {}, 1, contains, 0});
    return *this;
}
ScriptedServices& ScriptedServices::acknowledge(const QString& contains) {
    queue_.push_back(Step{Kind::Message, true, {}, 1, contains, 0});
    return *this;
}
ScriptedServices& ScriptedServices::expectError(const QString& contains) {
    queue_.push_back(Step{Kind::Error, true, {}, 1, contains, 0});
    return *this;
}
ScriptedServices& ScriptedServices::closeModal(int result) {
    queue_.push_back(Step{Kind::Modal, true, {}, 1, {}, result});
    return *this;
}

ScriptedServices::Step ScriptedServices::take(Kind kind, const QString& what) {
    if (queue_.empty() || queue_.front().kind != kind) {
        const QString expected =
            queue_.empty() ? QStringLiteral("nothing") : QString::fromLatin1(kindName(int(queue_.front().kind)));
        const QString text = QStringLiteral("unexpected %1 (\"%2\"); the script expected %3")
                                 .arg(QString::fromLatin1(kindName(int(kind))), what, expected);
        QTest::qFail(qPrintable(text), __FILE__, __LINE__);
        return Step{kind, false, {}, 1, {}, 0};
    }
    Step s = queue_.front();
    queue_.pop_front();
    if (!s.contains.isEmpty() && !what.contains(s.contains)) {
        const QString text = QStringLiteral("%1 showed \"%2\", not \"%3\"").arg(QString::fromLatin1(kindName(int(kind))), what, s.contains);
        QTest::qFail(qPrintable(text), __FILE__, __LINE__);
    }
    return s;
}

void ScriptedServices::message(QWidget*, const QString& text) {
    shown << QStringLiteral("message: ") + text;
    take(Kind::Message, text);
}

bool ScriptedServices::confirm(QWidget*, const QString& text) {
    shown << QStringLiteral("confirm: ") + text;
    return take(Kind::Confirm, text).accept;
}

void ScriptedServices::errorBox(const QString& text) {
    shown << QStringLiteral("error: ") + text;
    take(Kind::Error, text);
}

platform::FileDialogResult ScriptedServices::openDialog(QWidget*, const platform::FileDialogRequest& request) {
    shown << QStringLiteral("open: ") + request.title;
    lastRequest = request;
    const Step s = take(Kind::Open, request.title);
    return {s.accept, s.files, s.accept ? s.filterIndex : request.filterIndex};
}

platform::FileDialogResult ScriptedServices::saveDialog(QWidget*, const platform::FileDialogRequest& request) {
    shown << QStringLiteral("save: ") + request.title;
    lastRequest = request;
    const Step s = take(Kind::Save, request.title);
    return {s.accept, s.files, s.accept ? s.filterIndex : request.filterIndex};
}

int ScriptedServices::showModal(QDialog* dialog) {
    shown << QStringLiteral("modal: ") + dialog->objectName();
    return take(Kind::Modal, dialog->objectName()).result;
}

bool ScriptedServices::openUrl(const QString& url) {
    shown << QStringLiteral("url: ") + url;
    urls << url;
    return urlOpens;
}

}  // namespace nuvak::test
