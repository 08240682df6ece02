#include <gtest/gtest.h>

#include <filesystem>

#include "core/bmp.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::RunResult;

class CliStacking : public ::testing::Test {
protected:
    // A flat picture of one grey value.
    std::string flat(const std::string& name, int w, int h, int value) {
        Raster r(w, h);
        for (auto& b : r.bytes) b = std::uint8_t(value);
        std::string path = dir.file(name);
        test::WriteBytes(path, EncodeBmp(r));
        return path;
    }
    RunResult cli(const std::vector<std::string>& args) { return test::Run(NUVAK_CLI_PATH, args); }
    test::TempDir dir;
};

TEST_F(CliStacking, StackEveryMethodOnTenTenEleven) {
    const std::string a = flat("a.bmp", 2, 1, 10), b = flat("b.bmp", 2, 1, 10), c = flat("c.bmp", 2, 1, 11);
    const std::string out = dir.file("out.bmp");
    const std::vector<std::pair<std::string, int>> rows = {
        {"average", 10}, {"add", 31}, {"max", 11}, {"min", 10}, {"expected", 10}};
    for (const auto& [method, value] : rows) {
        const RunResult r = cli({"stack", "--method", method, a, b, c, out});
        ASSERT_EQ(r.status, 0) << method << r.err;
        EXPECT_EQ(LoadBmp(out).pixel(1, 0)[0], value) << method;
    }
    EXPECT_EQ(cli({"stack", "--method", "sum", a, b, out}).status, 2);
    // Another size: refused, naming both sizes; nothing written.
    std::filesystem::remove(out);
    const RunResult other = cli({"stack", "--method", "average", a, flat("d.bmp", 3, 1, 10), out});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("3 × 1"), std::string::npos) << other.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliStacking, MosaicSeparateAndSpectrum) {
    // Cells take the largest width and height; the default grid is one across, all down.
    const std::string out = dir.file("m.bmp");
    ASSERT_EQ(cli({"mosaic", flat("a.bmp", 3, 2, 40), flat("b.bmp", 2, 2, 80), out}).status, 0);
    const Raster m = LoadBmp(out);
    EXPECT_EQ(m.width, 3);
    EXPECT_EQ(m.height, 4);
    EXPECT_EQ(m.pixel(0, 3)[0], 80);
    EXPECT_EQ(m.pixel(2, 3)[0], 255);  // the part of the cell the smaller picture leaves white
    EXPECT_EQ(cli({"mosaic", "--across", "0", dir.file("a.bmp"), out}).status, 1);

    Raster red(1, 1);
    red.pixel(0, 0)[0] = red.pixel(0, 0)[1] = 0;
    red.pixel(0, 0)[2] = 255;
    const std::string in = dir.file("red.bmp");
    test::WriteBytes(in, EncodeBmp(red));
    ASSERT_EQ(cli({"separate", in, dir.path().string()}).status, 0);
    EXPECT_EQ(LoadBmp(dir.file("Red.bmp")).pixel(0, 0)[0], 255);
    EXPECT_EQ(LoadBmp(dir.file("Blue.bmp")).pixel(0, 0)[0], 0);

    ASSERT_EQ(cli({"spectrum", in, dir.file("sp.txt")}).status, 0);
    const test::Bytes text = test::ReadBytes(dir.file("sp.txt"));
    EXPECT_EQ(std::string(text.begin(), text.end()).find("255"), std::string(text.begin(), text.end()).rfind("255"));
}

}  // namespace
}  // namespace nuvak
