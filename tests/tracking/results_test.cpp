#include <gtest/gtest.h>

#include "core/format.h"
#include "tracking/results.h"

namespace nuvak {
namespace {

TEST(TrackingResults, TwoFramesInAFolder) {
    TrackingState s;
    s.FrameCount = 2;
    s.CentroidX[0] = 10.5, s.CentroidY[0] = 20.25;
    s.CentroidX[1] = 12.0, s.CentroidY[1] = 1.0 / 3 + 20;
    s.RmsAll = 1.4142135623730951, s.RmsX = 1.0 / 3, s.RmsY = 0;
    const std::string expected =
        "MORVEL-3 Tracking Data\r\n"
        "RMS  = 1.41421 pixels\r\n"
        "RMS X-Asix = 0.333333 pixels\r\n"
        "RMS Y-Asix = 0 pixels\r\n"
        "\r\n"
        "フォルダ /obs\r\n"
        "\r\n"
        "ファイル名   X    ピクセル  Y    ピクセル  \r\n"
        "a.fts      10.5      20.25      \r\n"
        "b.fts      12      20.3333      \r\n";
    EXPECT_EQ(ResultsFileText(s, {"a.fts", "b.fts"}, "/obs/a.fts"), expected);
}

TEST(TrackingResults, NamesAndFoldersAreWrittenWhole) {
    TrackingState s;
    s.FrameCount = 2;
    const std::string folder = "/" + std::string(300, 'f');
    const std::string name = std::string(300, 'n') + ".fts";
    const std::string text = ResultsFileText(s, {name, "b.fts"}, folder + "/" + name);
    EXPECT_NE(text.find("フォルダ " + folder + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n" + name + "      0      0      \r\n"), std::string::npos);
}

TEST(TrackingResults, FolderDropsItsFinalSeparatorUnlessItIsARoot) {
    EXPECT_EQ(FolderOf("/a/b.fits"), "/a");
    EXPECT_EQ(FolderOf("/obs/night 1/a.fts"), "/obs/night 1");
    EXPECT_EQ(FolderOf("/b.fits"), "/");
    EXPECT_EQ(FolderOf("b.fits"), "");
#ifdef _WIN32
    EXPECT_EQ(FolderOf("D:\\obs\\a.fts"), "D:\\obs");
    EXPECT_EQ(FolderOf("C:\\a.fts"), "C:\\");
    EXPECT_EQ(FolderOf("C:a.fts"), "C:");
#endif
}

TEST(TrackingResults, NumbersInTheGeneralFormWithSixDigits) {
    const std::pair<double, const char*> rows[] = {
        {0.5, "0.5"},       {1.0 / 3, "0.333333"}, {2e6, "2e+06"}, {123456, "123456"}, {1234567, "1.23457e+06"},
        {0.0001, "0.0001"}, {0.00001, "1e-05"},    {0, "0"},       {-2.5, "-2.5"},     {100.25, "100.25"},
    };
    for (const auto& [v, text] : rows) EXPECT_EQ(FormatG6(v), text) << v;
}

}  // namespace
}  // namespace nuvak
