#pragma once
// Everything modal and everything the operating system is asked goes through here, so that
// tests can replace it with a scripted double: message boxes, the Yes/No question, the
// standard error box, the open and save dialogs, modal showing of a dialog, memory load,
// opening a page in the system's browser.

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>

class QDialog;
class QFileDialog;
class QWidget;

namespace nuvak::platform {

// An open or save dialog as a command sets it up.
struct FileDialogRequest {
    QString title;
    QString filter;          // "name|pattern;pattern|name|pattern" as the windows describe it
    int filterIndex = 1;     // 1-based
    bool multiple = false;   // open: more than one file may be chosen
    bool mustExist = true;   // open: the chosen files must exist
};

struct FileDialogResult {
    bool accepted = false;
    QStringList files;       // the chosen files, in order
    int filterIndex = 1;     // the entry chosen when the dialog closed
};

class Services {
public:
    virtual ~Services() = default;
    // A plain message box with an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // A confirmation box with Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // The application's standard error box.
    virtual void errorBox(const QString& text) = 0;
    virtual FileDialogResult openDialog(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveDialog(QWidget* parent, const FileDialogRequest& request) = 0;
    // Shows a dialog modally and returns its result code.
    virtual int showModal(QDialog* dialog) = 0;
    // Percentage of physical memory in use, 0 ... 100.
    virtual int memoryLoad() = 0;
    // Opens the URL (a file:// URL for a page written here) in the system's browser; true
    // when the system took it. The default does nothing, so that stand-ins that do not
    // expect it never start a browser.
    virtual bool openUrl(const QString& url) {
        (void)url;
        return false;
    }
};

// The services in force: the real ones unless a test installed its own.
Services& ui();
// Installs services (nullptr restores the real ones); returns the previous ones.
Services* setServices(Services* services);

// The real services, on Qt widgets and the operating system.
class QtServices final : public Services {
public:
    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void errorBox(const QString& text) override;
    FileDialogResult openDialog(QWidget* parent, const FileDialogRequest& request) override;
    FileDialogResult saveDialog(QWidget* parent, const FileDialogRequest& request) override;
    int showModal(QDialog* dialog) override;
    int memoryLoad() override;
    bool openUrl(const QString& url) override;
};

// Shows an error raised inside a command in the standard error box; the program goes on.
void ReportError(const std::exception& e);
void ReportUnknownError();

// Runs a command, showing any error it raises in the standard error box. Handlers connected
// to signals go through this, so an error never crosses Qt's own code.
void Guarded(const std::function<void()>& command);

// A slot for any signal that runs the command through Guarded.
template <class F>
auto GuardedSlot(F command) {
    return [command](auto&&...) { Guarded(command); };
}

// The filter text of a dialog as Qt writes it ("name (pattern pattern);;...").
QString QtFilterOf(const QString& filter);

// A file dialog set up as a command asks: mode, filters shown by their names, the entry
// of the request's filter index selected.
void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save);
// The 1-based index of the entry chosen in a dialog set up so.
int SelectedFilterIndex(const QFileDialog& dialog);

}  // namespace nuvak::platform
