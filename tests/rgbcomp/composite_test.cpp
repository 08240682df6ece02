#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/simd.h"
#include "resources/messages.h"
#include "rgbcomp/calibration.h"
#include "rgbcomp/colour.h"
#include "rgbcomp/pipeline.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

using test::FitsBuilder;

IntArray2D Filled(int w, int h, const std::function<std::int32_t(int, int)>& v) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) a[x][y] = v(x, y);
    return a;
}

// Writes a 16-bit frame (BZERO 32768) of the given physical values.
std::string WriteFrame(const test::TempDir& dir, const std::string& name, int w, int h,
                       const std::function<int(int, int)>& v) {
    std::string path = dir.file(name);
    test::WriteBytes(
        path, FitsBuilder::Image16(w, h).samples(w, h, [&](int x, int y) { return test::Stored(v(x, y)); }).bytes());
    return path;
}

struct Positions : Progress {
    std::vector<int> seen;
    void setPosition(int p) override { seen.push_back(p); }
};

TEST(Calibration, FlatDividesByItsLevel) {
    test::TempDir dir;
    // Flat: 0 at x = 0, the maximum 4000 at x = 1, half of it at x = 2.
    const int flat[3] = {0, 4000, 2000};
    const std::string path = WriteFrame(dir, "flat.fits", 3, 2, [&](int x, int) { return flat[x]; });
    IntArray2D scratch(3, 2);
    const DoubleArray2D levels = LoadFlatLevels(path, 3, 2, scratch);
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        IntArray2D frame = Filled(3, 2, [](int, int) { return 1000; }), spare(3, 2);
        CalibrateFrame(nullptr, &levels, false, 3, 2, frame, spare);
        EXPECT_EQ(frame[0][0], 1000);
        EXPECT_EQ(frame[1][0], 1000);
        EXPECT_EQ(frame[2][1], 2000);
    }
}

TEST(Calibration, DarkOfAnotherSizeEndsTheAddingOnce) {
    test::TempDir dir;
    const std::vector<std::string> darks = {WriteFrame(dir, "d1.fits", 4, 3, [](int x, int) { return 100 + x; }),
                                            WriteFrame(dir, "d2.fits", 5, 3, [](int, int) { return 900; }),
                                            WriteFrame(dir, "d3.fits", 4, 3, [](int, int) { return 900; })};
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        IntArray2D dark(4, 3);
        DoubleArray2D acc(4, 3);
        std::vector<std::string> notices;
        Progress silent;
        BuildMasterDark(darks, 4, 3, dark, acc, silent, [&](const std::string& m) { notices.push_back(m); });
        EXPECT_EQ(notices, std::vector<std::string>{"Resolution Error !!"});
        EXPECT_EQ(dark[0][0], 33);  // 100 / 3
        EXPECT_EQ(dark[3][2], 34);  // 103 / 3
    }
}

TEST(Calibration, DarkMayGoNegativeAndTurningTwiceRestores) {
    const IntArray2D original = Filled(5, 4, [](int x, int y) { return 10 * x + y; });
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        IntArray2D frame = Filled(5, 4, [](int x, int y) { return 10 * x + y; }), spare(5, 4);
        const IntArray2D dark = Filled(5, 4, [](int, int) { return 45; });
        CalibrateFrame(&dark, nullptr, true, 5, 4, frame, spare);
        EXPECT_EQ(frame[4][3], 0 - 45);  // (0, 0) turned to (4, 3)
        EXPECT_EQ(frame[0][0], 43 - 45);
        CalibrateFrame(nullptr, nullptr, true, 5, 4, frame, spare);
        for (int x = 0; x < 5; ++x)
            for (int y = 0; y < 4; ++y) ASSERT_EQ(frame[x][y] + 45, original[x][y]);
    }
}

TEST(Calibration, AccumulationReachesColumnAndRowZero) {
    const IntArray2D frame = Filled(4, 4, [](int x, int y) { return 1 + x + 4 * y; });
    struct Row {
        FrameShift shift;
        int x, y;
        double expected;
    } rows[] = {
        {{0, 0}, 0, 0, 0.5}, {{1, 1}, 0, 0, 3.0}, {{1, 1}, 3, 1, 0.0}, {{-1, -1}, 0, 0, 0.0}, {{-1, -1}, 1, 1, 0.5}};
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        Progress silent;
        for (const Row& r : rows) {
            DoubleArray2D acc(4, 4);
            AccumulateShifted(frame, r.shift, 2, 4, 4, acc, silent);
            EXPECT_DOUBLE_EQ(acc[r.x][r.y], r.expected) << r.shift.dx << " " << r.x << "," << r.y;
        }
    }
}

TEST(Calibration, WholeColumnsFollowThePixelRule) {
    // Columns of 67 rows: the four-lane body and the rows after it. Levels of 0 keep the
    // pixel; tiny ones saturate the quotient.
    constexpr int w = 3, h = 67;
    std::srand(5);
    const IntArray2D source = Filled(w, h, [](int, int) { return std::rand() % 140000 - 70000; });
    const IntArray2D dark = Filled(w, h, [](int, int) { return std::rand() % 3000 - 1000; });
    DoubleArray2D levels(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) levels[x][y] = y % 7 == 0 ? 0.0 : y % 11 == 0 ? 1e-6 : (std::rand() % 1000) / 999.0;
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        for (int mask = 0; mask < 8; ++mask) {
            const bool withDark = mask & 1, withFlat = mask & 2, turn = mask & 4;
            IntArray2D frame = Filled(w, h, [&](int x, int y) { return source[x][y]; }), spare(w, h);
            CalibrateFrame(withDark ? &dark : nullptr, withFlat ? &levels : nullptr, turn, w, h, frame, spare);
            for (int x = 0; x < w; ++x)
                for (int y = 0; y < h; ++y) {
                    double v = source[x][y] - (withDark ? dark[x][y] : 0);
                    if (withFlat && levels[x][y] > 0)
                        v = std::clamp(std::trunc(v / levels[x][y]), -2147483648.0, 2147483647.0);
                    ASSERT_EQ(turn ? frame[w - 1 - x][h - 1 - y] : frame[x][y], v) << mask << " " << x << "," << y;
                }
        }
        DoubleArray2D acc(w, h);
        Progress silent;
        AccumulateShifted(source, {0, 1}, 3, w, h, acc, silent);
        for (int y = 0; y + 1 < h; ++y) ASSERT_EQ(acc[2][y], source[2][y + 1] / 3.0) << y;
    }
}

TEST(Calibration, LongRunsWithinAndAcrossWords) {
    // Runs of values >= 100 in column 1 of 2 x 200 (column 0 stays below): first row, length.
    struct Row {
        int first, length, l;
        bool expected;
    } rows[] = {{0, 6, 5, true},       {0, 5, 5, false},   {60, 6, 5, true},    {61, 5, 5, false},
                {194, 6, 5, true},     {195, 5, 5, false}, {10, 1, 0, true},    {20, 129, 128, true},
                {20, 129, 129, false}, {63, 2, 1, true},   {127, 66, 65, true}, {0, 0, -1, true}};
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        for (const Row& r : rows) {
            const IntArray2D c = Filled(
                2, 200, [&](int x, int y) { return x == 1 && y >= r.first && y < r.first + r.length ? 100 : 99; });
            EXPECT_EQ(HasLongRun(100, r.l, 2, 200, c), r.expected) << r.first << " " << r.length << " " << r.l;
            EXPECT_EQ(HasLongRun(-2147483647 - 1, r.l, 2, 200, c), r.l < 200) << r.l;
        }
    }
}

TEST(Colour, WhiteBalanceAndToneCurve) {
    struct Row {
        const char* what;
        std::int32_t value;
        double factor, k;
        int expected;
    } rows[] = {{"sky", 1000, 1, 1, 9},
                {"100 above", 1100, 1, 1, 100},
                {"K doubled", 1100, 1, 2, 161},
                {"factor 2 halves", 1200, 2, 1, 100},
                {"below by more than BGL", 980, 1, 1, 0},
                {"far above: 255", 60000, 1, 1, 255}};
    for (const Row& r : rows) {
        IntArray2D c = Filled(2, 1, [&](int x, int) { return x ? 0 : r.value; });
        ToneChannel(1000.0, r.factor, r.k, 10, 2, 1, c);
        EXPECT_EQ(c[0][0], r.expected) << r.what;
    }
    // A clipped background block averages the pixels inside.
    const IntArray2D sky = Filled(20, 20, [](int x, int y) { return x < 3 && y < 3 ? 1000 : 100; });
    EXPECT_DOUBLE_EQ(BackgroundMean(20, 20, 0, 0, sky), (9 * 1000 + 27 * 100) / 36.0);
    EXPECT_DOUBLE_EQ(BackgroundMean(20, 20, 10, 10, sky), 100.0);
}

TEST(Colour, BackgroundSlope) {
    // Left half 1100, right half 1000: gx = 100 / 1000 per column, no vertical part.
    IntArray2D c = Filled(1000, 60, [](int x, int) { return x < 500 ? 1100 : 1000; });
    RemoveBackgroundSlope(1000, 60, c);
    EXPECT_EQ(c[500][30], 1050);
    EXPECT_EQ(c[0][0], 1100);
    struct Row {
        int w, h;
        bool varied;
    } rows[] = {{60, 60, false}, {29, 60, true}, {60, 29, true}, {14, 14, true}};
    for (const Row& r : rows) {
        // Equal medians change nothing; sizes without a full set of medians are left alone.
        const auto value = [&](int x, int) { return r.varied ? 1000 + 10 * (x < r.w / 2) : 700; };
        IntArray2D a = Filled(r.w, r.h, value);
        RemoveBackgroundSlope(r.w, r.h, a);
        for (int x = 0; x < r.w; ++x) ASSERT_EQ(a[x][r.h - 1], value(x, 0)) << r.w << "x" << r.h;
    }
}

// A run over small frames: one red, green and blue frame each, sky 1000 and a star.
struct SmallRun {
    test::TempDir dir;
    RGBCompositeSetup setup;
    SmallRun() {
        setup.lists[kRedFrames] = {WriteFrame(dir, "r.fits", 40, 32, Sky(20, 12))};
        setup.lists[kGreenFrames] = {WriteFrame(dir, "g.fits", 40, 32, Sky(20, 12))};
        setup.lists[kBlueFrames] = {WriteFrame(dir, "b.fits", 40, 32, Sky(20, 12))};
        setup.bx = 5, setup.by = 25;
    }
    static std::function<int(int, int)> Sky(int sx, int sy) {
        // A 3 x 3 star, so that the hot-pixel removal of red keeps its centre.
        return [=](int x, int y) { return std::abs(x - sx) <= 1 && std::abs(y - sy) <= 1 ? 1100 : 1000; };
    }
};

TEST(RunRGBComposite, NoStarModeAddsUnshifted) {
    SmallRun run;
    run.setup.x1 = 15, run.setup.y1 = 15, run.setup.delta1 = 10;  // the star lies in the window
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        Positions bar;
        const std::optional<Raster> out = RunRGBComposite(run.setup, bar, nullptr);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->pixel(20, 12)[0], 100);
        EXPECT_EQ(out->pixel(20, 12)[2], 100);
        EXPECT_EQ(out->pixel(15, 15)[1], 9);
        EXPECT_EQ(out->pixel(0, 0)[1], 9);
        const std::vector<int> tail(bar.seen.end() - 4, bar.seen.end());
        EXPECT_EQ(tail, (std::vector<int>{90, 100, 100, 0}));
        EXPECT_EQ(bar.seen.front(), 10);
        const ImageDocument d = RGBCompositeDocument(*out);
        EXPECT_EQ(d.FilterI, ImageKind::Colour);
        EXPECT_EQ(d.ColN, 3);
        EXPECT_EQ(d.DemX, 40);
    }
}

// Frames prepared two at a time (one on a worker thread) give the picture of one at a time;
// a failing frame stops the run with the first failure in list order, wherever it falls.
TEST(RunRGBComposite, FramesInPairsAsOneByOne) {
    const auto lists = [](SmallRun& r, const std::vector<std::string>& kinds) {
        for (int c = 0; c < 3; ++c) {
            r.setup.lists[c].clear();
            for (std::size_t k = 0; k < kinds.size(); ++k) {
                const std::string name = kinds[k] + std::to_string(c) + std::to_string(k) + ".fits";
                const int sx = 20 + int(k % 2), sy = 12 + int(k / 2 % 2);
                r.setup.lists[c].push_back(kinds[k] == "small" ? WriteFrame(r.dir, name, 30, 32, SmallRun::Sky(5, 5))
                                           : kinds[k] == "blank"
                                               ? WriteFrame(r.dir, name, 40, 32, [](int, int) { return 0; })
                                               : WriteFrame(r.dir, name, 40, 32, SmallRun::Sky(sx, sy)));
            }
        }
    };
    SmallRun run;
    run.setup.starMode = kOneStar;
    run.setup.x1 = 20, run.setup.y1 = 12, run.setup.delta1 = 3;
    run.setup.lists[kDarkFrames] = {WriteFrame(run.dir, "d.fits", 40, 32, [](int x, int) { return x; })};
    run.setup.lists[kFlatFrames] = {WriteFrame(run.dir, "f.fits", 40, 32, [](int x, int y) { return 900 + x + y; })};
    run.setup.advanced.turn[kBlueFrames] = 1;
    lists(run, {"ok", "ok", "ok", "ok", "ok"});
    Progress quiet;
    detail::UseFrameWorker(false);
    const std::optional<Raster> single = RunRGBComposite(run.setup, quiet, nullptr);
    detail::UseFrameWorker(true);
    const std::optional<Raster> paired = RunRGBComposite(run.setup, quiet, nullptr);
    ASSERT_TRUE(single && paired);
    EXPECT_EQ(single->bytes, paired->bytes);

    const struct {
        std::vector<std::string> kinds;
        const char* named;
    } rows[] = {
        {{"ok", "small", "blank", "ok"}, "small01"},
        {{"ok", "blank", "small"}, "blank01"},
        {{"ok", "ok", "small"}, "small02"},
        {{"blank", "small"}, "blank00"},
    };
    for (const auto& r : rows) {
        SmallRun failing;
        failing.setup.starMode = kOneStar;
        failing.setup.x1 = 20, failing.setup.y1 = 12, failing.setup.delta1 = 3;
        lists(failing, r.kinds);
        std::vector<std::string> notices;
        try {
            RunRGBComposite(failing.setup, quiet, [&](const std::string& m) { notices.push_back(m); });
            ADD_FAILURE() << r.named;
        } catch (const CompositeError& e) {
            EXPECT_NE(std::string(e.what()).find(r.named), std::string::npos) << e.what();
        }
        EXPECT_EQ(notices, std::vector<std::string>{}) << r.named;
    }
}

// Each refusal is one message (no notice before it); a frame or flat of another size names
// the file and both sizes.
TEST(RunRGBComposite, RefusedRuns) {
    struct Row {
        const char* what;
        std::function<void(SmallRun&)> change;
        const char* says;
    } rows[] = {
        {"green factor 0", [](SmallRun& r) { r.setup.g = 0; }, "G"},
        {"257 dark frames", [](SmallRun& r) { r.setup.lists[kDarkFrames].assign(257, "d.fits"); }, "257"},
        {"red frame of another size",
         [](SmallRun& r) {
             r.setup.lists[kRedFrames] = {WriteFrame(r.dir, "small.fits", 30, 32, SmallRun::Sky(5, 5))};
         },
         "small.fits」の大きさ（30 × 32）が最初の緑のフレームの大きさ（40 × 32）"},
        {"flat of another size",
         [](SmallRun& r) {
             r.setup.lists[kFlatFrames] = {WriteFrame(r.dir, "flat.fits", 40, 31, SmallRun::Sky(5, 5))};
         },
         "flat.fits」の大きさ（40 × 31）"},
        {"no star in the window",
         [](SmallRun& r) {
             r.setup.starMode = kOneStar;
             r.setup.lists[kBlueFrames] = {WriteFrame(r.dir, "dark.fits", 40, 32, [](int, int) { return 0; })};
         },
         "dark.fits"},
    };
    for (const Row& r : rows) {
        SmallRun run;
        run.setup.starMode = kNoStar;
        run.setup.x1 = 20, run.setup.y1 = 12, run.setup.delta1 = 3;
        r.change(run);
        std::vector<std::string> notices;
        Positions bar;
        try {
            RunRGBComposite(run.setup, bar, [&](const std::string& m) { notices.push_back(m); });
            ADD_FAILURE() << r.what;
        } catch (const CompositeError& e) {
            EXPECT_NE(std::string(e.what()).find(r.says), std::string::npos) << r.what << ": " << e.what();
        }
        EXPECT_EQ(notices, std::vector<std::string>{}) << r.what;
        EXPECT_EQ(bar.seen.back(), 0) << r.what;
    }
    SmallRun empty;
    empty.setup.lists[kRedFrames].clear();
    Positions bar;
    EXPECT_FALSE(RunRGBComposite(empty.setup, bar, nullptr));
}

}  // namespace
}  // namespace nuvak
