#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/bmp.h"
#include "core/fileio.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/jpeg.h"
#include "core/open.h"
#include "core/samples.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"
#include "tracking/report.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::RunResult;

RunResult Cli(const std::vector<std::string>& args, const std::string& cwd = "") {
    return test::Run(NUVAK_CLI_PATH, args, cwd);
}

class CliTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string put(const std::string& name, const Bytes& bytes) {
        std::string path = dir.file(name);
        test::WriteBytes(path, bytes);
        return path;
    }
};

// --help lists every command; after a command it prints that command's usage: on standard
// output, with status 0, whatever else the line holds.
TEST(CliHelp, EveryCommandHasItsUsage) {
    const struct {
        std::vector<std::string> args;
        const char* shows;
    } rows[] = {
        {{"--help"}, "nuvak-cli selftest"},
        {{"track", "--help"}, "--report"},
        {{"track", "a.fits", "--help"}, "--worm-period"},
        {{"process", "--help"}, "sabattier"},
        {{"stack", "-h"}, "--method"},
        {{"mosaic", "--help"}, "--across"},
        {{"rgb", "--help"}, "PROJECT.mvl"},
        {{"info", "--help"}, "nuvak-cli info FILE"},
        {{"make-samples", "--help"}, "--camera"},
        {{"selftest", "--help"}, "nuvak-cli selftest"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.args.back());
        const RunResult r = Cli(row.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(row.shows), std::string::npos) << r.out;
    }
    EXPECT_EQ(Cli({"bogus", "--help"}).status, 2);
}

TEST_F(CliTest, InfoOnAFitsFramePrintsItsLevels) {
    const std::string path = put("m42.fits", test::LevelExampleFrame());
    const RunResult r = Cli({"info", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"kind\":2,\"width\":100,\"height\":100,\"caption\":\"m42.fits\",\"cards\":36,\"bzero\":32768,"
              "\"level_min\":1000,\"level_max\":1400,\"average\":1200}\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, CompressedAndFloatFramesOpenAndSayHowTheyWereRead) {
    // The level example's values, tile-compressed in an extension and as floats halved.
    const Bytes plain = test::LevelExampleFrame();
    const FitsImage image = LoadFits(*std::make_unique<MemorySource>("plain.fits", plain));
    std::vector<double> v(100 * 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) v[std::size_t(y) * 100 + x] = image.samples[x][y];
    test::LibraryFits rice;
    rice.bzero = 32768;
    rice.compression = "RICE";
    const std::string fz = dir.file("m42.fits.fz");
    test::WriteLibraryFits(fz, rice, 100, 100, v);
    RunResult r = Cli({"info", fz});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"kind\":2,\"width\":100,\"height\":100,\"caption\":\"m42.fits.fz\",\"cards\":36,\"bzero\":32768,"
              "\"level_min\":1000,\"level_max\":1400,\"average\":1200,\"bitpix\":16,\"hdu\":1,\"planes\":1,"
              "\"scale\":{\"offset\":0,\"factor\":1}}\n");

    for (double& x : v) x = x / 2 + 0.25;
    test::LibraryFits floats;
    floats.bitpix = -32;
    const std::string fl = dir.file("m42-float.fits");
    test::WriteLibraryFits(fl, floats, 100, 100, v);
    r = Cli({"info", fl});
    EXPECT_EQ(r.status, 0) << r.err;
    // Values 450.25 ... 1000.25 onto 0 ... 65535: the grid's 500.25 and 700.25 become 5958 and 29789.
    EXPECT_NE(r.out.find("\"level_min\":5958,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"bitpix\":-32,\"hdu\":0,\"planes\":1,\"scale\":{\"offset\":450.25,\"factor\":119.154545454"),
              std::string::npos)
        << r.out;
    const std::string bmp = dir.file("m42.bmp");
    EXPECT_EQ(Cli({"render", fl, bmp}).status, 0);
    EXPECT_EQ(LoadBmp(bmp).width, 100);
}

TEST_F(CliTest, InfoOnColourFilesAndTheNetpbmEntry) {
    Raster r(5, 3);
    r.pixel(4, 2)[0] = 9;
    const std::string bmp = put("a.bmp", EncodeBmp(r));
    const std::string jpg = put("b.JPG", EncodeJpeg(r));
    Bytes pgm = test::BytesOf("P6\n# made by a test\n2 1\n255\n");
    for (int v : {10, 20, 30, 40, 50, 60}) pgm.push_back(std::uint8_t(v));
    const std::string pgmPath = put("c.pgm", pgm);

    EXPECT_EQ(Cli({"info", bmp}).out, "{\"kind\":1,\"width\":5,\"height\":3,\"caption\":\"a.bmp\"}\n");
    EXPECT_EQ(Cli({"info", jpg}).out, "{\"kind\":1,\"width\":5,\"height\":3,\"caption\":\"b.JPG\"}\n");
    // The reader's progress lines never reach the JSON output.
    EXPECT_EQ(Cli({"info", pgmPath}).out, "{\"kind\":3,\"width\":2,\"height\":1,\"caption\":\"Child\"}\n");
}

TEST_F(CliTest, AsChoosesTheReaderWhateverTheExtension) {
    const std::string path = put("frame.dat", test::LevelExampleFrame());
    EXPECT_EQ(Cli({"info", path}).status, 2);
    const RunResult r = Cli({"info", "--as", "fits", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"level_max\":1400"), std::string::npos);
    EXPECT_EQ(Cli({"info", path, "--as=fits"}).status, 0);
    // A FITS file read as JPEG is a file error, not a crash.
    const RunResult wrong = Cli({"info", "--as", "jpeg", path});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find(path), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndPrintNothingOnStdout) {
    const std::string fits = put("x.fits", test::LevelExampleFrame());
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"frobnicate", fits},
        {"info"},
        {"info", fits, "extra"},
        {"info", fits, "--bogus"},
        {"info", fits, "--as"},
        {"info", fits, "--as", "png"},
        {"render", fits},
        {"render", fits, dir.file("out.png")},
        {"render", fits, dir.file("out.bmp"), "more"},
    };
    for (const auto& args : rows) {
        const RunResult r = Cli(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << shown;
    }
}

// Every command reads its arguments by the same rules: "--" ends the options, "=" gives a
// value in the same argument, and a missing value, a value given to a flag or an unknown
// option is a usage error that names it.
TEST_F(CliTest, EveryCommandReadsItsArgumentsByTheSameRules) {
    const std::string fits = put("x.fits", test::LevelExampleFrame());
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;  // on standard error, for a usage error
    } rows[] = {
        {{"info", "--", fits}, 0, ""},
        {{"info", "--as=fits", "--", fits}, 0, ""},
        {{"info", "--", "--as"}, 2, "cannot tell the kind of --as"},
        {{"track", "--range"}, 2, "--range needs a value"},
        {{"track", "--json=1", fits, fits}, 2, "unknown option: --json=1"},
        {{"track", "--range=x", fits, fits}, 2, "--range takes a whole number, not 'x'"},
        {{"process", fits, "out.bmp", "--op"}, 2, "--op needs a command"},
        {{"make-samples", "--size"}, 2, "--size needs WxH"},
        {{"make-samples", "--camera", "--field", "d"}, 2, "--camera or --field, not both"},
        {{"stack", "--method=median", fits, "o.bmp"}, 2, "unknown method: median"},
        {{"mosaic", "--across", "x", fits, "o.bmp"}, 2, "--across takes a whole number"},
        {{"rgb", "--bogus", "p.mvl", "o.bmp"}, 2, "unknown option: --bogus"},
        {{"selftest", "--bogus"}, 2, "usage: nuvak-cli selftest"},
    };
    for (const auto& row : rows) {
        std::string shown;
        for (const auto& a : row.args) shown += a + " ";
        const RunResult r = Cli(row.args);
        EXPECT_EQ(r.status, row.status) << shown << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << shown << r.err;
    }
}

TEST_F(CliTest, FileErrorsExitWithOneAndNameTheFile) {
    Bytes cut = test::LevelExampleFrame();
    cut.resize(5000);
    const std::string truncated = put("cut.fits", cut);
    for (const std::string& path : {dir.file("missing.fits"), truncated}) {
        const RunResult r = Cli({"info", path});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
    // The system's cause is put in the user's words.
    const std::string missing = dir.file("missing.fits");
    EXPECT_EQ(Cli({"info", missing}).err,
              "nuvak-cli: " + missing + ": " + FillMessage(msg::kCannotOpen, msg::kReasonNotFound) + "\n");
}

TEST_F(CliTest, RenderWritesTheDisplayAsBmpOrJpeg) {
    const std::string path = put("m42.fits", test::LevelExampleFrame());
    const std::string bmp = dir.file("shown.bmp");
    const std::string jpg = dir.file("shown.jpeg");
    ASSERT_EQ(Cli({"render", path, bmp}).status, 0);
    ASSERT_EQ(Cli({"render", path, jpg}).status, 0);

    const Bytes frame = test::LevelExampleFrame();
    MemorySource src(path, frame);
    const Raster display = OpenFitsDocument(src).document.Image;
    const Raster shown = LoadBmp(bmp);
    ASSERT_EQ(shown.width, display.width);
    ASSERT_EQ(shown.height, display.height);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(shown.colour(x, y), display.colour(x, y)) << x << "," << y;
    const Raster fromJpeg = ReadJpeg(jpg);
    EXPECT_EQ(fromJpeg.width, 100);
    EXPECT_NEAR(fromJpeg.pixel(50, 51)[1], 127, 6);  // grey 127 within JPEG error
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m42.fits", "shown.bmp", "shown.jpeg"}));
}

TEST_F(CliTest, FailedRenderLeavesTheOldOutputAndNoStrayFiles) {
    Bytes cut = test::LevelExampleFrame();
    cut.resize(cut.size() - 4000);
    const std::string bad = put("cut.fits", cut);
    const std::string out = put("keep.bmp", test::BytesOf("an older picture"));
    const RunResult r = Cli({"render", bad, out}, dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(test::ReadBytes(out), test::BytesOf("an older picture"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"cut.fits", "keep.bmp"}));

    // An output in a folder that does not exist: a file error, nothing written.
    const std::string good = put("good.fits", test::LevelExampleFrame());
    const std::string nowhereFile = dir.file("no/such/folder/x.bmp");
    const RunResult nowhere = Cli({"render", good, nowhereFile});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.err.find(nowhereFile), std::string::npos) << nowhere.err;
}

TEST_F(CliTest, MakeSamplesWritesFramesThatOpen) {
    const RunResult r = Cli({"make-samples", dir.file("s")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frame24.fits"), std::string::npos);
    const RunResult info = Cli({"info", dir.file("s/frame01.fits")});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"width\":320,\"height\":240"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.file("s/dark2.fits")));
}

// Folders named in Japanese, with a space: the samples are written, read, tracked, rendered
// and reported there, and every file lands where it was asked for.
TEST_F(CliTest, EveryRoadWorksInAFolderNamedInJapanese) {
    const std::string night = dir.file("星空 観測");
    ASSERT_EQ(Cli({"make-samples", night}).status, 0);
    const std::string first = night + "/frame01.fits";
    // A compressed frame for the general reader, written under a plain name and copied in.
    test::LibraryFits layout;
    layout.bzero = 32768;
    layout.compression = "RICE";
    std::vector<double> ramp(32 * 32);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = 1000 + double(i);
    test::WriteLibraryFits(dir.file("c.fits.fz"), layout, 32, 32, ramp);
    const std::string compressed = night + "/圧縮.fits.fz";
    test::WriteBytes(compressed, test::ReadBytes(dir.file("c.fits.fz")));
    std::vector<std::string> track = {
        "track", "--dark", night + "/dark1.fits", "--results", night + "/結果.txt", "--report", night + "/報告.html"};
    for (int i = 1; i <= 24; ++i)
        track.push_back(night + (i < 10 ? "/frame0" : "/frame") + std::to_string(i) + ".fits");
    const struct {
        std::vector<std::string> args;
        std::string writes;
    } rows[] = {
        {{"info", first}, ""},
        {{"info", compressed}, ""},
        {{"render", first, night + "/画像.bmp"}, night + "/画像.bmp"},
        {track, night + "/結果.txt"},
        {{"spectrum", first, night + "/分光.txt"}, night + "/分光.txt"},
    };
    for (const auto& row : rows) {
        const RunResult r = Cli(row.args);
        EXPECT_EQ(r.status, 0) << row.args.front() << ": " << r.err;
        if (!row.writes.empty()) {
            EXPECT_TRUE(std::filesystem::exists(PathOf(row.writes))) << row.writes;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(PathOf(night + "/報告.html")));
}

TEST_F(CliTest, MakeSamplesCameraWritesACaptureProgramsNightTheReportMeasures) {
    // Smaller frames than the night's 6248 x 4176; the layout, cards and star are the same.
    const RunResult r = Cli({"make-samples", "--camera", dir.file("cam"), "--size", "400x300"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 13u) << r.out;
    EXPECT_EQ(lines.back(), "star: 188,159");  // 0.47 W + 0.3, 0.53 H + 0.6
    const std::vector<std::string> frames(lines.begin(), lines.end() - 1);
    EXPECT_EQ(frames[0], dir.file("cam/cam001.fits"));
    EXPECT_EQ(frames[5], dir.file("cam/cam006.fits.fz"));

    // The plain and the compressed frame carry the capture cards; the start steps by the cadence.
    for (const auto& [frame, date] :
         {std::pair{0, "2026-12-08T21:14:05.250"}, std::pair{5, "2026-12-08T21:16:41.500"}}) {
        const FitsImage image = LoadFits(frames[std::size_t(frame)]);
        const std::string& cards = image.header.cardText;
        EXPECT_EQ(image.header.width, 400);
        EXPECT_EQ(image.header.bzero, 32768);
        EXPECT_EQ(HeaderValue(cards, "DATE-OBS"), date);
        EXPECT_EQ(HeaderValue(cards, "EXPTIME"), "30.000");
        EXPECT_EQ(HeaderValue(cards, "FOCALLEN"), "530.0");
        EXPECT_EQ(HeaderValue(cards, "XPIXSZ"), "3.76");
        EXPECT_EQ(HeaderValue(cards, "XBINNING"), "1");
        EXPECT_EQ(HeaderValue(cards, "OBJCTDEC"), "+45 30 00");
    }

    // The compressed frame reads as the same frame written plain; the command writes what the
    // library call writes.
    CameraNight plain;
    plain.width = 400;
    plain.height = 300;
    plain.compressedFrame = 0;
    const CameraNightFiles same = WriteCameraNight(dir.file("plain"), plain);
    EXPECT_EQ(same.frames[5], dir.file("plain/cam006.fits"));
    EXPECT_EQ(test::ReadBytes(same.frames[0]), test::ReadBytes(frames[0]));
    const FitsImage compressed = LoadFits(frames[5]), uncompressed = LoadFits(same.frames[5]);
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 300; ++y) ASSERT_EQ(compressed.samples[x][y], uncompressed.samples[x][y]) << x << "," << y;

    // The report follows the star through every frame, at its true width.
    MeasureSettings settings;
    settings.starSpecified = true;
    settings.starX = 188;
    settings.starY = 159;
    const std::vector<ReportFrame> measured = MeasureReportFrames(frames, settings);
    ASSERT_EQ(measured.size(), 12u);
    for (const ReportFrame& f : measured) {
        EXPECT_TRUE(f.found) << f.path << ": " << f.lostMessage;
        EXPECT_NEAR(f.fwhmPx, 3.6, 0.3) << f.path;
    }
    EXPECT_NEAR(measured[0].x, 188.3, 0.2);
    EXPECT_NEAR(measured[0].y, 159.6, 0.2);
}

}  // namespace
}  // namespace nuvak
