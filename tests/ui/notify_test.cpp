// The application's one top-level handler: an error raised inside any event handler is
// shown in the standard error box, and the event loop goes on.
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <stdexcept>

#include "platform/application.h"
#include "tests/support/ui/scripted_services.h"

namespace {

class Throwing : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override { throw std::runtime_error("frame07.fits: file truncated"); }
};

}  // namespace

class NotifyTest : public QObject {
    Q_OBJECT
private slots:
    void errorsInHandlersReachTheErrorBox() {
        nuvak::test::ScriptedServices dialogs;
        dialogs.expectError(QStringLiteral("frame07.fits: file truncated"));
        Throwing w;
        w.resize(50, 50);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(&w, Qt::LeftButton);
        QVERIFY(dialogs.done());
        // The loop still runs: a timer fires after the error.
        bool fired = false;
        QTimer::singleShot(0, [&] { fired = true; });
        QTRY_VERIFY(fired);
    }
};

int main(int argc, char** argv) {
    nuvak::platform::Application app(argc, argv);
    NotifyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "notify_test.moc"
