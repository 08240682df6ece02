#pragma once
// A scripted stand-in for the dialogs and system queries: each modal interaction a test
// expects is queued with its answer; an interaction nobody queued fails the test.

#include <QString>
#include <QStringList>
#include <deque>

#include "platform/services.h"

namespace nuvak::test {

class ScriptedServices final : public platform::Services {
public:
    // Installs itself for the lifetime of the object.
    ScriptedServices();
    ~ScriptedServices() override;

    // Queued answers, consumed in order. `contains` (when not empty) must be part of the text shown.
    ScriptedServices& openFiles(const QStringList& files, int filterIndex);
    ScriptedServices& cancelOpen();
    ScriptedServices& saveAs(const QString& file, int filterIndex);
    ScriptedServices& cancelSave();
    ScriptedServices& answer(bool yes, const QString& contains = {});
    ScriptedServices& acknowledge(const QString& contains = {});
    ScriptedServices& expectError(const QString& contains = {});
    ScriptedServices& closeModal(int result);

    // True when every queued interaction took place.
    bool done() const { return queue_.empty(); }
    // Everything shown, in order: "message: text", "confirm: text", "error: text",
    // "open: title", "save: title", "modal: objectName", "url: the URL".
    QStringList shown;
    // The last open or save dialog as the command set it up.
    platform::FileDialogRequest lastRequest;
    int memory = 37;

    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void errorBox(const QString& text) override;
    platform::FileDialogResult openDialog(QWidget* parent, const platform::FileDialogRequest& request) override;
    platform::FileDialogResult saveDialog(QWidget* parent, const platform::FileDialogRequest& request) override;
    int showModal(QDialog* dialog) override;
    int memoryLoad() override { return memory; }
    // Records the URL; no browser starts. Answers urlOpens: false plays a system that
    // cannot open it.
    bool openUrl(const QString& url) override;
    bool urlOpens = true;
    // The URLs the program asked the browser to open, in order.
    QStringList urls;

private:
    enum class Kind { Open, Save, Confirm, Message, Error, Modal };
    struct Step {
        Kind kind;
        bool accept = true;
        QStringList files;
        int filterIndex = 1;
        QString contains;
        int result = 0;
    };
    Step take(Kind kind, const QString& what);

    std::deque<Step> queue_;
    platform::Services* previous_;
};

}  // namespace nuvak::test
