// The auxiliary windows as the program creates them at start-up, and the range checks of the
// parameter dialogs that decide whether a value is accepted.

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "imageops/Blur1.h"
#include "imageops/Comacorrect1.h"
#include "imageops/Edge1.h"
#include "imageops/Gamma1.h"
#include "imageops/Gmcpanel1.h"
#include "imageops/Imgpanel1.h"
#include "imageops/Sabachie1.h"
#include "imageops/Tilt1.h"
#include "rgbcomp/Advance1.h"
#include "rgbcomp/Rgbcomp1.h"
#include "stacking/Comp1.h"
#include "stacking/Mozaiccomp.h"
#include "stacking/SpDraw.h"
#include "tests/support/ui/scripted_services.h"
#include "tracking/Trackadvance.h"
#include "tracking/Tracking.h"

namespace {

// Types Edit1 and presses OK on a shown dialog. Returns whether the dialog closed accepted.
template <class Dialog>
bool pressOk(Dialog& dialog, const QString& text) {
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    dialog.Edit1->setText(text);
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    const bool closed = !dialog.isVisible();
    dialog.hide();
    return closed && dialog.result() == QDialog::Accepted;
}

}  // namespace

class ShellsTest : public QObject {
    Q_OBJECT

private:
    template <class Window>
    void checkShell(const char* name, const QString& caption) {
        auto window = std::make_unique<Window>();
        QCOMPARE(window->objectName(), QLatin1String(name));
        QCOMPARE(window->windowTitle(), caption);
        QVERIFY(window->isWindow());
        QVERIFY(window->isHidden());
    }

private slots:
    void windowsAreCreatedHiddenWithTheirCaptions() {
        checkShell<nuvak::TGMCPanel>("TGMCPanel", QStringLiteral("GMCPanel"));
        checkShell<nuvak::TGMM>("TGMM", QStringLiteral("GMM"));
        checkShell<nuvak::TEDG>("TEDG", QStringLiteral("EDG"));
        checkShell<nuvak::TBLUR>("TBLUR", QStringLiteral("BLUR"));
        checkShell<nuvak::TComaCorrect>("TComaCorrect", QStringLiteral("ComaCorrect"));
        checkShell<nuvak::TSabachie>("TSabachie", QStringLiteral("Sabachie"));
        checkShell<nuvak::TRGBComp>("TRGBComp", QStringLiteral("RGB"));
        checkShell<nuvak::TComposite>("TComposite", QStringLiteral("コンポジット"));
        checkShell<nuvak::TTilt>("TTilt", QStringLiteral("Tilt"));
        checkShell<nuvak::TAdvance>("TAdvance", QStringLiteral("Advance"));
        checkShell<nuvak::TImgPanel>("TImgPanel", QStringLiteral("画像調整パネル"));
        checkShell<nuvak::TSpDraw>("TSpDraw", QStringLiteral("Spectrum"));
        checkShell<nuvak::TMscomp>("TMscomp", QStringLiteral("Mscomp"));
        checkShell<nuvak::TTrack>("TTrack", QStringLiteral("追尾計測"));
        checkShell<nuvak::TTrackAd>("TTrackAd", QStringLiteral("追尾計測　高度な設定"));
    }

    void windowsWithAParentStaySeparateWindows() {
        QWidget owner;
        auto* workbench = new nuvak::TRGBComp(&owner);
        auto* tracking = new nuvak::TTrack(&owner);
        auto* gamma = new nuvak::TGMM(&owner);
        for (QWidget* w : {static_cast<QWidget*>(workbench), static_cast<QWidget*>(tracking),
                           static_cast<QWidget*>(gamma)}) {
            QVERIFY(w->isWindow());
            QVERIFY(w->isHidden());
        }
        QVERIFY(workbench->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(tracking->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void edgeStrengthIsAcceptedFromOneToFive() {
        nuvak::test::ScriptedServices services;
        nuvak::TEDG dialog;
        QCOMPARE(dialog.Edit1->text(), QStringLiteral("1.0"));
        QVERIFY(pressOk(dialog, QStringLiteral("1.0")));
        QVERIFY(pressOk(dialog, QStringLiteral("5.0")));
        for (const char* bad : {"0.99", "5.01", "-3.0"}) {
            services.acknowledge(QStringLiteral("1.0-5.0の数字を入力してください"));
            QVERIFY2(!pressOk(dialog, QLatin1String(bad)), bad);
        }
        QVERIFY(services.done());
    }

    void blurAmountIsAcceptedAboveZeroUpToTen() {
        nuvak::test::ScriptedServices services;
        nuvak::TBLUR dialog;
        QCOMPARE(dialog.Edit1->text(), QStringLiteral("1.0"));
        QVERIFY(pressOk(dialog, QStringLiteral("10.0")));
        QVERIFY(pressOk(dialog, QStringLiteral("0.01")));
        for (const char* bad : {"0.0", "10.5", "-1.0"}) {
            services.acknowledge(QStringLiteral("正の数字を入力してください"));
            QVERIFY2(!pressOk(dialog, QLatin1String(bad)), bad);
        }
        QVERIFY(services.done());
    }

    void gammaIsAcceptedAboveZero() {
        nuvak::test::ScriptedServices services;
        nuvak::TGMM dialog;
        QVERIFY(pressOk(dialog, QStringLiteral("0.5")));
        services.acknowledge(QStringLiteral("整数を入力してください"));
        QVERIFY(!pressOk(dialog, QStringLiteral("0.0")));
        QVERIFY(services.done());
    }

    // A text that is no number stops the handler with the error box; the dialog stays open.
    void aFieldThatIsNoNumberKeepsTheDialogOpen() {
        nuvak::test::ScriptedServices services;
        services.expectError().expectError();
        nuvak::TEDG edge;
        QVERIFY(!pressOk(edge, QStringLiteral("abc")));
        nuvak::TBLUR blur;
        QVERIFY(!pressOk(blur, QString()));
        QVERIFY(services.done());
    }

    void mosaicCancelLeavesZeroCellsDown() {
        nuvak::TMscomp dialog;
        dialog.Edit2->setText(QStringLiteral("4"));
        dialog.show();
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Edit2->text(), QStringLiteral("4"));
        dialog.show();
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Edit2->text(), QStringLiteral("0"));
    }
};

QTEST_MAIN(ShellsTest)
#include "shells_test.moc"
