#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "core/bmp.h"
#include "core/format.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::RunResult;

class CliProcess : public ::testing::Test {
protected:
    void SetUp() override {
        // A 4 x 2 picture whose pixels are all different.
        picture = Raster(4, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                for (int k = 0; k < 3; ++k) picture.pixel(x, y)[k] = std::uint8_t(10 * x + 50 * y + k);
        in = dir.file("in.bmp");
        test::WriteBytes(in, EncodeBmp(picture));
        out = dir.file("out.bmp");
    }
    RunResult process(std::vector<std::string> args) {
        args.insert(args.begin(), "process");
        return test::Run(NUVAK_CLI_PATH, args);
    }
    test::TempDir dir;
    Raster picture;
    std::string in, out;
};

TEST_F(CliProcess, UsageErrorsExitWithTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> rows = {
        {in, out},                          // no op
        {in, out, "--op", "negative"},      // no such command
        {in, out, "--op", "gamma"},         // a value missing
        {in, out, "--op", "gamma=x"},       // not a number
        {in, out, "--op", "coma=1.5,2,1"},  // a whole number expected
        {in, out, "--op", "gmc=0,1,0.5"},   // three of four values
        {in, dir.file("out.png"), "--op", "flip"},
        {in, out, "--op", "flip", "--bogus"},
    };
    for (const auto& args : rows) {
        const RunResult r = process(args);
        EXPECT_EQ(r.status, 2) << args.back() << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(CliProcess, RunsTheCommandsInOrderOnTheChosenPicture) {
    // Mirror then flip turns the picture half round: pixel (x, y) comes from (3 - x, 1 - y).
    RunResult r = process({in, out, "--op", "mirror", "--op", "flip"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const Raster turned = LoadBmp(out);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(turned.colour(x, y), picture.colour(3 - x, 1 - y)) << x << "," << y;
    // Gamma draws on the display only: the master written with --out-master is the input.
    r = process({in, out, "--op", "gamma=2.0", "--out-master"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LoadBmp(out), picture);
    r = process({in, out, "--op", "gamma=2.0"});
    EXPECT_NE(LoadBmp(out), picture);
    // Mirror acts on colour pictures only: a FITS frame's display comes out as it went in.
    const std::string fits = dir.file("frame.fits");
    test::WriteBytes(fits, test::LevelExampleFrame());
    ASSERT_EQ(process({fits, out, "--op", "mirror"}).status, 0);
    const Raster shown = LoadBmp(out);
    ASSERT_EQ(test::Run(NUVAK_CLI_PATH, {"render", fits, dir.file("plain.bmp")}).status, 0);
    EXPECT_EQ(shown, LoadBmp(dir.file("plain.bmp")));
}

TEST_F(CliProcess, ARefusedCommandLeavesTheOutputAsItWas) {
    test::WriteBytes(out, test::BytesOf("an older picture"));
    // The guide-miss kernel of flow 2 is 7 pixels square, wider than the 4 x 2 picture.
    const std::pair<const char*, std::string> refusals[] = {
        {"sabattier=0", msg::kToneStepUnusable},
        {"gamma=0", msg::kToneGammaNotPositive},
        {"gmc=0,2,0.5,0", FillMessage(msg::kGuideMissKernelTooLarge, 2, 7, 7, 4, 2)},
    };
    for (const auto& [op, message] : refusals) {
        const RunResult r = process({in, out, "--op", op});
        EXPECT_EQ(r.status, 1) << op;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadBytes(out), test::BytesOf("an older picture"));
    }
    EXPECT_EQ(process({dir.file("missing.bmp"), out, "--op", "flip"}).status, 1);
}

}  // namespace
}  // namespace nuvak
