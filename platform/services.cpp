#include "platform/services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QUrl>
#include <QWidget>
#include <new>

#include "platform/system/memory.h"
#include "resources/messages.h"

namespace nuvak::platform {

namespace {

QtServices& real() {
    static QtServices r;
    return r;
}

Services*& current() {
    static Services* installed = &real();
    return installed;
}

}  // namespace

Services& ui() { return *current(); }

Services* setServices(Services* services) {
    Services* previous = current();
    current() = services ? services : &real();
    return previous;
}

QString QtFilterOf(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& r, bool save) {
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile
                            : (r.multiple ? QFileDialog::ExistingFiles
                                          : (r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile)));
    // The command asks about overwriting itself, after it has fixed the extension.
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // Each entry is shown by its name alone ("ビットマップ(*.bmp)"), the patterns after it
    // are not repeated; the full entries stay the dialog's filters, so the index maps both ways.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = QtFilterOf(r.filter).split(QStringLiteral(";;"));
    dialog.setNameFilters(filters);
    if (r.filterIndex >= 1 && r.filterIndex <= filters.size()) dialog.selectNameFilter(filters[r.filterIndex - 1]);
}

int SelectedFilterIndex(const QFileDialog& dialog) {
    // With the patterns hidden the dialog may answer with the entry's name alone.
    const QString chosen = dialog.selectedNameFilter();
    const QStringList filters = dialog.nameFilters();
    for (int i = 0; i < filters.size(); ++i) {
        const QString& f = filters[i];
        if (f == chosen || f.left(f.lastIndexOf(QStringLiteral(" ("))) == chosen) return i + 1;
    }
    return 1;
}

namespace {

// The always-on-top window in view that a box must not open beneath: the active window if it
// is one, else the last one shown; nullptr when none is in view.
QWidget* WindowOnTop(const QWidget* except = nullptr) {
    const auto onTop = [except](QWidget* w) {
        return w && w != except && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    };
    if (QWidget* active = QApplication::activeWindow(); onTop(active)) return active;
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (onTop(w)) found = w;
    return found;
}

// A box opened while an always-on-top window is in view would open beneath that window and
// leave the program looking frozen. Such a box belongs to that window instead (the system
// keeps a box above the window it belongs to, native file dialogs included) unless its own
// window stays on top already.
QWidget* OwnerOf(QWidget* parent) {
    if (parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return parent;
    QWidget* top = WindowOnTop();
    return top ? top : parent;
}

// ... and stays on top itself, above every such window.
void KeepAbove(QWidget& box) {
    if (WindowOnTop(&box)) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

// Qt's file dialog reads its history, last folder and layout from the user's toolkit settings
// when it is built and writes them back when it is destroyed. The program keeps nothing
// between runs and nothing else in it uses those settings, so where they are files (Linux
// and the other Unix systems) they are pointed at a folder that cannot exist: nothing is
// read from there and writing fails quietly. Within a run the dialogs still open where the
// last one was left. There the desktop's own dialog, reached through the toolkit's desktop
// theme, would keep its state in the desktop's settings, so Qt's dialog is used.
void KeepNoToolkitSettings() {
    static const bool redirected = [] {
#if !defined(Q_OS_WIN) && !defined(Q_OS_DARWIN)
        const QString nowhere = QStringLiteral("/dev/null/settings");  // a folder inside a device file
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
                QSettings::setPath(format, scope, nowhere);
#endif
        return true;
    }();
    (void)redirected;
}

FileDialogResult runFileDialog(QWidget* parent, const FileDialogRequest& r, bool save) {
    KeepNoToolkitSettings();
    QFileDialog dialog(OwnerOf(parent), r.title);
    KeepAbove(dialog);
    SetUpFileDialog(dialog, r, save);
#if !defined(Q_OS_WIN) && !defined(Q_OS_DARWIN)
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    FileDialogResult result;
    if (dialog.exec() != QDialog::Accepted) return result;
    result.accepted = true;
    result.files = dialog.selectedFiles();
    result.filterIndex = SelectedFilterIndex(dialog);
    return result;
}

}  // namespace

void QtServices::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nuvak"), text, QMessageBox::Ok, OwnerOf(parent));
    KeepAbove(box);
    box.exec();
}

bool QtServices::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Nuvak"), text, QMessageBox::Yes | QMessageBox::No,
                    OwnerOf(parent));
    KeepAbove(box);
    return box.exec() == QMessageBox::Yes;
}

void QtServices::errorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Nuvak"), text, QMessageBox::Ok, OwnerOf(nullptr));
    KeepAbove(box);
    box.exec();
}

FileDialogResult QtServices::openDialog(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, false);
}

FileDialogResult QtServices::saveDialog(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, true);
}

int QtServices::showModal(QDialog* dialog) {
    // The dialog lives on: it stays on top only while it is shown above such a window.
    const bool onTop = dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    KeepAbove(*dialog);
    const int result = dialog->exec();
    if (!onTop) dialog->setWindowFlag(Qt::WindowStaysOnTopHint, false);
    return result;
}

int QtServices::memoryLoad() { return MemoryLoadPercent(); }

bool QtServices::openUrl(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

void ReportError(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        ui().errorBox(QString::fromUtf8(msg::kOutOfMemory));
        return;
    }
    ui().errorBox(QString::fromUtf8(e.what()));
}

void ReportUnknownError() { ui().errorBox(QString::fromUtf8(msg::kUnknownError)); }

void Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ReportError(e);
    } catch (...) {
        ReportUnknownError();
    }
}

}  // namespace nuvak::platform
