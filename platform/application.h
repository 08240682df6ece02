#pragma once
// The application object: one top-level handler for every error raised inside an event
// handler, shown in the standard error box while the event loop goes on.

#include <QApplication>

namespace nuvak::platform {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads the toolkit's Japanese texts (the buttons and labels of the file dialogs and message
// boxes: "はい", "いいえ", "キャンセル"). Returns false when they are not installed; the
// toolkit's English texts then stay.
bool LoadToolkitTranslations();

}  // namespace nuvak::platform
