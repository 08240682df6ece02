#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/bmp.h"
#include "core/format.h"
#include "resources/messages.h"
#include "rgbcomp/project.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::RunResult;

class CliRgb : public ::testing::Test {
protected:
    // A 41 x 41 sky of 1000 with a star at (22, 20): 3000, its four neighbours 2000 (kept by
    // the hot-pixel removal of the red frames; row 20 is the middle row either way rows are stored).
    std::string frame(const std::string& name) {
        std::string path = dir.file(name);
        test::WriteBytes(path, test::FitsBuilder::Image16(41, 41)
                                   .samples(41, 41,
                                            [](int x, int y) {
                                                const int d = std::abs(x - 22) + std::abs(y - 20);
                                                return test::Stored(d == 0 ? 3000 : d == 1 ? 2000 : 1000);
                                            })
                                   .bytes());
        return path;
    }
    std::string project(const RGBCompositeSetup& s) {
        std::string path = dir.file("p.mvl");
        SaveProjectFile(path, s);
        return path;
    }
    RunResult cli(const std::vector<std::string>& args) { return test::Run(NUVAK_CLI_PATH, args); }
    test::TempDir dir;
};

TEST_F(CliRgb, RefusalsWriteNothing) {
    const std::string out = dir.file("out.bmp");
    const std::string damaged = dir.file("cut.mvl");
    test::WriteBytes(damaged, test::BytesOf("MORVEL-2 File Data of RGB composite\r\n1 Red File(s)\r\n"));
    RGBCompositeSetup noRed;
    noRed.lists[kGreenFrames] = noRed.lists[kBlueFrames] = {frame("g.fits")};
    const std::string noRedFile = project(noRed);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } rows[] = {
        {{"rgb", damaged}, 2, "usage: nuvak-cli rgb"},
        {{"rgb", damaged, dir.file("out.png")}, 2, "OUT must end in .bmp"},
        {{"rgb", damaged, out},
         1,
         "nuvak-cli: " + FillMessage(msg::kProjectCutShort, damaged,
                                     FillMessage(msg::kProjectPath, msg::kProjectListNames[kRedFrames], 1))},
        {{"rgb", dir.file("missing.mvl"), out}, 1, "nuvak-cli: " + dir.file("missing.mvl") + ": "},
        {{"rgb", noRedFile, out}, 1, "nuvak-cli: " + FillMessage(msg::kProjectNoColourFrames, noRedFile)},
    };
    for (const auto& row : rows) {
        const RunResult r = cli(row.args);
        EXPECT_EQ(r.status, row.status) << row.says << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out)) << row.says;
    }
}

TEST_F(CliRgb, FlatSkyComesOutAtNine) {
    RGBCompositeSetup s;
    s.lists[kRedFrames] = {frame("r.fits")};
    s.lists[kGreenFrames] = {frame("g.fits")};
    s.lists[kBlueFrames] = {frame("b.fits")};
    s.starMode = kOneStar;
    s.x1 = s.y1 = 20;
    s.bx = s.by = 30;  // clamped to 41 - 10 - 1 = 30; the block 25 ... 35 is sky
    const std::string out = dir.file("out.bmp");
    const RunResult r = cli({"rgb", project(s), out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // The star moves 2 columns left onto (20, 20). Sky: 1000 - 1000 + 10 = 10 before the
    // curve, 200 atan(10 / 200) = 9.99 after it. The star's 3000 is 2010 before the curve
    // (294 after it), so 255. The last column's source lies outside the frame: 0 - 1000 + 10
    // is below 0.
    const Raster picture = LoadBmp(out);
    ASSERT_EQ(picture.width, 41);
    const struct { int x, y, value; } pixels[] = {{35, 5, 9}, {5, 35, 9}, {20, 20, 255}, {22, 20, 9}, {40, 5, 0}};
    for (const auto& p : pixels)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(picture.pixel(p.x, p.y)[c], p.value) << p.x << "," << p.y << " byte " << c;
}

}  // namespace
}  // namespace nuvak
