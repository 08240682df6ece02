#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "rgbcomp/project.h"
#include "tests/support/files.h"

namespace nuvak {
namespace {

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// Every field away from its default; paths with spaces, white balance in the short forms.
RGBCompositeSetup Changed() {
    RGBCompositeSetup s;
    s.lists[kRedFrames] = {"C:\\My Frames\\red 1.fit", "/tmp/r2.fits"};
    s.lists[kGreenFrames] = {"/data/g.fits"};
    s.lists[kBlueFrames] = {"b.fits ", " b2.fits"};
    s.lists[kFlatFrames] = {"/flat/f.fits"};
    s.starMode = kTwoStars;
    s.x1 = 11, s.x2 = 12, s.delta1 = 13, s.y1 = 21, s.y2 = 22, s.delta2 = 23;
    s.detect = 0;
    s.bx = 31, s.by = 32, s.bgl = 33;
    s.r = 0.85, s.g = 1.25, s.b = 1.00, s.k = 2.5e-06;
    s.advanced = {1, 50000, 3, 7, {0, 1, 0}, {1, 0, 1}};
    return s;
}

TEST(ProjectFile, DefaultSetUpIsWrittenByteForByte) {
    EXPECT_EQ(ProjectFileText({}),
              "MORVEL-2 File Data of RGB composite\r\n"
              "0 Red File(s)\r\n0 Green File(s)\r\n0 Blue File(s)\r\n0 Dark File(s)\r\n0 Flat File(s)\r\n"
              "Star(s) 0\r\nPosition\r\n0 0 10\r\n0 0 10\r\nDetect 1\r\n"
              "BackGroung\r\n0 0 10\r\nWhiteBalance\r\n1 1 1 1\r\nAnti-Blooming\r\n0 60000 2 5 \r\n"
              "Rotation\r\n0 0 0\r\nBackGroundSlope\r\n0 0 0\r\n");
    const std::string t = ProjectFileText(Changed());
    EXPECT_NE(t.find("\r\n2 Red File(s)\r\nC:\\My Frames\\red 1.fit\r\n/tmp/r2.fits\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\n0.85 1.25 1 2.5e-06\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\nRotation\r\n0 1 0\r\nBackGroundSlope\r\n1 0 1\r\n"), std::string::npos);
}

TEST(ProjectFile, SaveAndLoadRestoreEveryField) {
    test::TempDir dir;
    const std::string path = dir.file("p.mvl");
    SaveProjectFile(path, Changed());
    EXPECT_EQ(LoadProjectFile(path), Changed());
    // Loading over another set-up replaces everything, lists included.
    RGBCompositeSetup other;
    other.lists[kDarkFrames] = {"/old/dark.fits"};
    other.starMode = kOneStar;
    SaveProjectFile(path, other);
    EXPECT_EQ(LoadProjectFile(path, Changed()), other);
    // %g keeps six significant digits.
    RGBCompositeSetup s;
    s.r = 1.2345678;
    EXPECT_EQ(ParseProjectFile(ProjectFileText(s), "p.mvl").r, 1.23457);
    EXPECT_THROW(LoadProjectFile(dir.file("missing.mvl")), FileError);
}

TEST(ProjectFile, ReaderTakesAnyWhiteSpaceAndKeepsWhatTheFileLeavesOpen) {
    const std::string saved = ProjectFileText(Changed());
    RGBCompositeSetup before = Changed();
    before.starMode = kOneStar;
    before.detect = 2;
    RGBCompositeSetup kept = Changed();
    kept.starMode = kOneStar;
    kept.detect = 2;
    RGBCompositeSetup odd = Changed();
    odd.advanced.bloomingEnable = 7;
    odd.advanced.turn = {-1, 2, 0};
    const struct {
        const char* what;
        std::string text;
        RGBCompositeSetup expected;
    } rows[] = {
        {"LF line ends", replaced(saved, "\r\n", "\n"), Changed()},
        {"numbers split by tabs and blank lines",
         replaced(replaced(saved, "11 12 13", "11\t12\r\n\r\n13"), "Detect 0", "Detect\n\n 0"), Changed()},
        {"mode and detection out of range", replaced(replaced(saved, "Star(s) 2", "Star(s) 3"), "Detect 0", "Detect -1"),
         kept},
        {"blooming enable and flags as read",
         replaced(replaced(saved, "1 50000 3 7 ", "7 50000 3 7"), "Rotation\r\n0 1 0", "Rotation\r\n-1 2 0"), odd},
    };
    for (const auto& row : rows) {
        ASSERT_NE(row.text, saved) << row.what;
        EXPECT_EQ(ParseProjectFile(row.text, "p.mvl", before), row.expected) << row.what;
    }
}

TEST(ProjectFile, SaveNameTakesTheProjectExtension) {
    const std::pair<const char*, const char*> rows[] = {
        {"project.txt", "project.mvl"},          {"project", "project.mvl"},
        {"project.mvl", "project.mvl"},          {"/home/a.b/project", "/home/a.b/project.mvl"},
        {"/home/a.b/pro.ject.txt", "/home/a.b/pro.ject.mvl"},
    };
    for (const auto& [chosen, written] : rows) EXPECT_EQ(ProjectFileName(chosen), written) << chosen;
}

TEST(ProjectFile, DamagedFilesAreRefusedAtTheFirstFailedRead) {
    RGBCompositeSetup one;
    one.lists[kRedFrames] = {"/r.fits"};
    const std::string saved = ProjectFileText(one);
    const std::string red = msg::kProjectListNames[kRedFrames];
    const auto m = [](std::string_view pattern, const auto&... args) { return FillMessage(pattern, "p.mvl", args...); };
    const struct {
        const char* what;
        std::string text;
        std::string message;
    } rows[] = {
        {"empty", "", m(msg::kProjectNotProjectFile)},
        {"another header", replaced(saved, "composite", "compose"), m(msg::kProjectNotProjectFile)},
        {"cut in the header", saved.substr(0, 20), m(msg::kProjectNotProjectFile)},
        {"cut after the header", saved.substr(0, saved.find("1 Red")),
         m(msg::kProjectCutShort, FillMessage(msg::kProjectCount, red))},
        {"cut before a path", saved.substr(0, saved.find("/r.fits")),
         m(msg::kProjectCutShort, FillMessage(msg::kProjectPath, red, 1))},
        {"cut in the white balance", saved.substr(0, saved.find("1 1 1 1") + 4),
         m(msg::kProjectCutShort, msg::kProjectWhiteBalance)},
        {"cut before the last flag", saved.substr(0, saved.size() - 3), m(msg::kProjectCutShort, msg::kProjectSlope)},
        {"negative count", replaced(saved, "0 Blue", "-1 Blue"),
         m(msg::kProjectNegativeCount, FillMessage(msg::kProjectCount, msg::kProjectListNames[kBlueFrames]), -1)},
        {"count beyond 32 bits", replaced(saved, "1 Red", "2147483648 Red"),
         m(msg::kProjectNotInteger, FillMessage(msg::kProjectCount, red), "2147483648")},
        {"letters for a number", replaced(saved, "0 60000", "0 6OOOO"), m(msg::kProjectNotInteger, msg::kProjectBlooming, "6OOOO")},
        {"decimal comma", replaced(saved, "1 1 1 1", "1 1,5 1 1"), m(msg::kProjectNotReal, msg::kProjectWhiteBalance, "1,5")},
        {"empty path line", replaced(saved, "/r.fits", ""), m(msg::kProjectEmptyPath, FillMessage(msg::kProjectPath, red, 1))},
    };
    for (const auto& row : rows) {
        try {
            ParseProjectFile(row.text, "p.mvl");
            ADD_FAILURE() << row.what << ": loaded";
        } catch (const CompositeError& e) {
            EXPECT_EQ(e.what(), row.message) << row.what;
        }
    }
    // Every shorter piece of the file is refused, up to the last number's line end.
    for (std::size_t n = 0; n + 2 < saved.size(); ++n)
        EXPECT_THROW(ParseProjectFile(saved.substr(0, n), "p.mvl"), CompositeError) << n;
}

}  // namespace
}  // namespace nuvak
