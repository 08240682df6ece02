#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "platform/system/text.h"

namespace nuvak::platform {
namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

TEST(UpDownControl, ArrowsStepWithinTheRangeThenReport) {
    app();
    UpDown u;
    u.setRange(-65535, 65535);
    u.setIncrement(10);
    u.setPosition(40000);
    EXPECT_EQ(u.position(), 40000);  // a 16-bit level is held as it is
    QSignalSpy spy(&u, &UpDown::clicked);
    u.press(UpDown::Button::Up);
    EXPECT_EQ(u.position(), 40010);
    u.setPosition(65530);
    u.press(UpDown::Button::Up);
    EXPECT_EQ(u.position(), 65535);
    EXPECT_EQ(spy.count(), 2);
    u.setPosition(-70000);
    EXPECT_EQ(u.position(), -65535);
}

TEST(PictureControl, HoldsItsRasterAndConvertsBothWays) {
    app();
    Raster r(3, 2);
    r.pixel(2, 1)[0] = 7;   // blue
    r.pixel(2, 1)[2] = 99;  // red
    const QImage image = ToQImage(r);
    EXPECT_EQ(image.pixelColor(2, 1), QColor(99, 255, 7));
    EXPECT_EQ(FromQImage(image), r);
    Picture p;
    p.setRaster(r);
    EXPECT_EQ(p.raster(), r);
}

TEST(CodePage932, ConvertsAsWindowsDoes) {
    // "追尾" in Shift-JIS, the wave dash Windows maps to 0x81 0x60, ASCII unchanged.
    EXPECT_EQ(ToCodePage932("ab"), "ab");
    EXPECT_EQ(ToCodePage932("\xE8\xBF\xBD\xE5\xB0\xBE"), "\x92\xC7\x94\xF6");
    EXPECT_EQ(ToCodePage932("\xEF\xBD\x9E"), "\x81\x60");
    // The JIS forms of the wave dash, the minus sign and the em dash land where Windows'
    // own forms do.
    EXPECT_EQ(ToCodePage932("\xE3\x80\x9C\xE2\x88\x92\xE2\x80\x94"), "\x81\x60\x81\x7C\x81\x5C");
    EXPECT_EQ(ToCodePage932("\xC3\xA9"), "?");  // not in the code page, and no look-alike
    // A character outside the code page becomes one '?', and the rest goes on.
    EXPECT_EQ(ToCodePage932("a\xF0\x9F\x94\xAD"
                            "b"),
              "a?b");
    EXPECT_EQ(ToCodePage932("a\xFF"
                            "b"),
              "a?b");  // a byte that is not UTF-8
    EXPECT_EQ(ToCodePage932("a\xE8\xBF"
                            "b"),
              "a?b");  // a character cut short
}

class RecordingServices final : public Services {
public:
    QStringList errors;
    void message(QWidget*, const QString&) override {}
    bool confirm(QWidget*, const QString&) override { return false; }
    void errorBox(const QString& text) override { errors << text; }
    FileDialogResult openDialog(QWidget*, const FileDialogRequest&) override { return {}; }
    FileDialogResult saveDialog(QWidget*, const FileDialogRequest&) override { return {}; }
    int showModal(QDialog*) override { return 0; }
    int memoryLoad() override { return 0; }
};

TEST(ErrorReporting, GuardedCommandsShowTheirErrorAndGoOn) {
    RecordingServices rec;
    Services* previous = setServices(&rec);
    bool after = false;
    Guarded([] { throw std::runtime_error("frame.fits: file truncated"); });
    Guarded([&] { after = true; });
    setServices(previous == &rec ? nullptr : previous);
    EXPECT_TRUE(after);
    ASSERT_EQ(rec.errors.size(), 1);
    EXPECT_EQ(rec.errors[0], QStringLiteral("frame.fits: file truncated"));
}

TEST(DialogFilters, WrittenTheWayQtReadsThem) {
    EXPECT_EQ(QtFilterOf(QStringLiteral("ビットマップ(*.bmp)|*.bmp|フィッツ(*.fit,*.fts,*.fits)|*.fts;*.fit;*.fits")),
              QStringLiteral("ビットマップ(*.bmp) (*.bmp);;フィッツ(*.fit,*.fts,*.fits) (*.fts *.fit *.fits)"));
}

// The type list shows each entry once, by its own name, and the chosen entry's index comes
// back whichever way it was chosen.
TEST(DialogFilters, ShownByTheirNamesWithTheIndexBothWays) {
    app();
    const QString filter = QStringLiteral(
        "ビットマップ(*.bmp)|*.bmp|フィッツ(*.fit,*.fts,*.fits)|*.fts;*.fit;*.fits|JPEG|*.jpg|すべてのファイル|*.*");
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    SetUpFileDialog(dialog, FileDialogRequest{QStringLiteral("t"), filter, 3, false, true}, true);
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("ビットマップ(*.bmp)"), QStringLiteral("フィッツ(*.fit,*.fts,*.fits)"),
                                  QStringLiteral("JPEG"), QStringLiteral("すべてのファイル")}));
    EXPECT_EQ(types->currentIndex(), 2);
    EXPECT_EQ(SelectedFilterIndex(dialog), 3);
    types->setCurrentIndex(1);
    emit types->activated(1);
    EXPECT_EQ(SelectedFilterIndex(dialog), 2);
}

TEST(ToolkitTexts, JapaneseButtons) {
    app();
    ASSERT_TRUE(LoadToolkitTranslations());
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")));
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
}

}  // namespace
}  // namespace nuvak::platform
