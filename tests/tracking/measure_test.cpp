#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/hotpixels.h"
#include "core/samples.h"
#include "core/simd.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tracking/measure.h"

namespace nuvak {
namespace {

using test::FitsBuilder;
using test::TempDir;

IntArray2D Flat(int w, int h, std::int32_t value) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) a[x][y] = value;
    return a;
}

// Adds a round star whose centre lies at (sx, sy) in the x + 0.5 convention.
void AddStar(IntArray2D& a, double sx, double sy, double peak, double sigma = 1.5) {
    for (int x = 0; x < a.width(); ++x)
        for (int y = 0; y < a.height(); ++y) {
            const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
            a[x][y] += int(std::floor(peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)) + 0.5));
        }
}

// Writes samples 0 ... 65535 as a 16-bit FITS file (stored with BZERO 32768).
std::string Write(const TempDir& dir, const std::string& name, const IntArray2D& a) {
    std::string path = dir.file(name);
    test::WriteBytes(path, EncodeFits16(a, a.width(), a.height()));
    return path;
}

// The message of the TrackingError a run raises, "" when it finishes.
std::string RunError(const std::vector<std::string>& frames, const MeasureSettings& s, TrackingState& state) {
    try {
        RunMeasurement(frames, s, state);
    } catch (const TrackingError& e) {
        return e.what();
    }
    return "";
}

struct Recorder : Progress {
    std::vector<std::string> events;
    void setMaximum(int m) override { events.push_back("max " + std::to_string(m)); }
    void setPosition(int p) override { events.push_back("pos " + std::to_string(p)); }
};

TEST(MeasureStar, SingleBrightPixel) {
    // 1000 on a background of 100 at (50, 60): minimum 100, d = 900 there and 0 elsewhere, so
    // the centroid is that pixel's centre and one pixel reaches half the maximum.
    IntArray2D a = Flat(100, 100, 100);
    a[50][60] = 1000;
    const StarMeasurement m = MeasureStar(a, 100, 100, false, 0, 0, 10);
    EXPECT_EQ(m.px, 50);
    EXPECT_EQ(m.py, 60);
    EXPECT_EQ(m.minimum, 100);
    EXPECT_EQ(m.maximum, 1000);
    EXPECT_DOUBLE_EQ(m.cx, 50.5);
    EXPECT_DOUBLE_EQ(m.cy, 60.5);
    EXPECT_EQ(m.halfMaxCount, 1);
    EXPECT_NEAR(m.fwhmRadius, 0.5642, 5e-5);
}

TEST(MeasureStar, TiesGoToTheFirstPixelInColumnOrder) {
    struct Row {
        const char* what;
        int ax, ay, bx, by, px, py;
    } rows[] = {{"smaller x wins although its y is larger", 30, 40, 31, 20, 30, 40},
                {"same column: smaller y wins", 30, 40, 30, 35, 30, 35},
                {"in the next column, smaller y", 61, 12, 62, 11, 61, 12}};
    // The columns' extremes are found with vectors where the processor has them: every path.
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        for (const Row& r : rows) {
            IntArray2D a = Flat(100, 100, 100);
            a[r.ax][r.ay] = 5000;
            a[r.bx][r.by] = 5000;
            const StarMeasurement m = MeasureStar(a, 100, 100, false, 0, 0, 10);
            EXPECT_EQ(m.px, r.px) << r.what << " " << simd::Name(path);
            EXPECT_EQ(m.py, r.py) << r.what << " " << simd::Name(path);
        }
    }
}

TEST(MeasureStar, WindowsAroundAGivenCentreAreTwoRWide) {
    // Around (50, 50) with r = 5 the window is x, y = 45 ... 54: a brighter pixel at 55 is
    // outside, one at 45 inside.
    IntArray2D a = Flat(100, 100, 100);
    a[55][50] = 9000;
    a[50][55] = 9000;
    a[45][45] = 3000;
    const StarMeasurement m = MeasureStar(a, 100, 100, true, 50, 50, 5);
    EXPECT_EQ(m.px, 45);
    EXPECT_EQ(m.py, 45);
}

TEST(MeasureStar, NoVolumeOrNoPeakStopsWithThePsfMessage) {
    const IntArray2D uniform = Flat(60, 60, 500);  // max - min = 0: every d is 0
    const IntArray2D dark = Flat(60, 60, 0);       // no pixel above 0: no peak at all
    IntArray2D a = Flat(60, 60, 100);
    struct Row {
        const char* what;
        const IntArray2D& frame;
        bool star;
        int cx, cy, r;
    } rows[] = {{"uniform 500, whole frame", uniform, false, 0, 0, 10},
                {"uniform 500, around a centre", uniform, true, 30, 30, 10},
                {"all zero", dark, true, 30, 30, 10},
                {"window wholly left of the frame", a, true, -20, 30, 10},
                {"window wholly below the frame", a, true, 30, 80, 10},
                {"radius 0: an empty window", a, true, 30, 30, 0},
                {"negative radius", a, true, 30, 30, -4},
                {"border of r leaves nothing of a 60-pixel frame", a, false, 0, 0, 30}};
    for (const Row& r : rows) {
        try {
            MeasureStar(r.frame, 60, 60, r.star, r.cx, r.cy, r.r);
            ADD_FAILURE() << r.what << ": no error";
        } catch (const TrackingError& e) {
            EXPECT_STREQ(e.what(), msg::kTrackPsfZero) << r.what;
        }
    }
}

TEST(MeasureStar, SquaresAndWindowsAtTheEdgesAreClipped) {
    // The star on the frame's corner pixels: only the part of the square inside the frame counts.
    const int w = 40, h = 30;
    struct Row {
        const char* what;
        int sx, sy, cx, cy;
    } rows[] = {{"top left", 0, 0, 2, 2}, {"bottom right", w - 1, h - 1, w - 3, h - 3}, {"left edge", 0, 15, 1, 14}};
    for (const Row& r : rows) {
        IntArray2D a = Flat(w, h, 50);
        a[r.sx][r.sy] = 800;
        const StarMeasurement m = MeasureStar(a, w, h, true, r.cx, r.cy, 12);
        EXPECT_EQ(m.px, r.sx) << r.what;
        EXPECT_EQ(m.py, r.sy) << r.what;
        EXPECT_DOUBLE_EQ(m.cx, r.sx + 0.5) << r.what;
        EXPECT_DOUBLE_EQ(m.cy, r.sy + 0.5) << r.what;
        EXPECT_EQ(m.halfMaxCount, 1) << r.what;
    }
}

TEST(MeasureStar, PixelsBelowTheWindowMinimumWeighNegatively) {
    // The square reaches beyond the search window: a dark pixel there counts as d < 0 and pulls
    // the centroid away from itself. Window around (20, 20), r = 3: x = 17 ... 22; the peak at
    // (17, 20); the pixel (15, 20) lies in the circle but outside the window.
    IntArray2D a = Flat(40, 40, 100);
    a[17][20] = 1100;
    a[15][20] = 0;
    const StarMeasurement m = MeasureStar(a, 40, 40, true, 20, 20, 3);
    EXPECT_EQ(m.minimum, 100);
    // S = 1000 - 100 = 900; Sx = 17.5 * 1000 + 15.5 * (-100).
    EXPECT_DOUBLE_EQ(m.cx, (17.5 * 1000 - 15.5 * 100) / 900);
    EXPECT_DOUBLE_EQ(m.cy, 20.5);
}

TEST(MeasureStar, GaussianStarAtASubPixelPosition) {
    for (auto [sx, sy] : {std::pair{47.3, 52.8}, std::pair{20.9, 21.15}, std::pair{60.5, 33.62}}) {
        IntArray2D a = Flat(90, 80, 1200);
        AddStar(a, sx, sy, 20000, 1.8);
        const StarMeasurement m = MeasureStar(a, 90, 80, false, 0, 0, 10);
        EXPECT_NEAR(m.cx, sx, 0.05);
        EXPECT_NEAR(m.cy, sy, 0.05);
    }
}

class MeasurementRun : public ::testing::Test {
protected:
    TempDir dir;
    TrackingState state;
    MeasureSettings settings;
};

TEST_F(MeasurementRun, SingleBrightPixelFillsTheState) {
    IntArray2D a = Flat(100, 100, 100);
    a[50][60] = 1000;
    IntArray2D b = Flat(100, 100, 100);
    b[52][57] = 1000;
    const std::vector<std::string> frames = {Write(dir, "a.fits", a), Write(dir, "b.fits", b)};
    settings.psfRadius = 4;  // raised to 10
    state.SearchRadius = 77;
    Recorder progress;
    RunMeasurement(frames, settings, state, &progress);
    EXPECT_EQ(state.SearchRadius, 10);
    EXPECT_EQ(state.FirstPeakX, 50);
    EXPECT_EQ(state.FirstPeakY, 60);
    EXPECT_DOUBLE_EQ(state.CentroidX[0], 50.5);
    EXPECT_DOUBLE_EQ(state.CentroidY[0], 60.5);
    EXPECT_DOUBLE_EQ(state.CentroidX[1], 52.5);
    EXPECT_DOUBLE_EQ(state.CentroidY[1], 57.5);
    EXPECT_NEAR(state.FwhmRadius[0], 0.5642, 5e-5);
    EXPECT_DOUBLE_EQ(state.MeanX, 50.5 / 2 + 52.5 / 2);
    EXPECT_DOUBLE_EQ(state.MeanY, 60.5 / 2 + 57.5 / 2);
    EXPECT_EQ(progress.events, (std::vector<std::string>{"max 2", "pos 1", "pos 2", "pos 0"}));
}

TEST_F(MeasurementRun, FramesAreConvertedWith32768WhateverTheirZeroOffsetSays) {
    // Stored 100 - 32768 and 40000 - 32768 under a BZERO card of 0: the run still adds 32768
    // (with the file's 0 the star would read 7232, below the sky's 32868).
    const auto frame = FitsBuilder::Image16(50, 50, "0")
                           .samples(50, 50, [](int x, int y) { return test::Stored(x == 20 && y == 30 ? 40000 : 100); })
                           .bytes();
    test::WriteBytes(dir.file("z.fits"), frame);
    RunMeasurement({dir.file("z.fits")}, settings, state);
    EXPECT_EQ(state.FirstPeakX, 20);
    EXPECT_EQ(state.FirstPeakY, 30);
}

TEST_F(MeasurementRun, TooLargeFramesAndDarksStopBeforeTheirSamples) {
    const std::string good = Write(dir, "good.fits", [] {
        IntArray2D a = Flat(30, 30, 100);
        a[15][15] = 900;
        return a;
    }());
    // 4001 x 10: refused by its header; the missing file after it is never opened.
    test::WriteBytes(dir.file("wide.fits"), FitsBuilder::Image16(4001, 10).bytes());
    test::WriteBytes(dir.file("tall.fits"), FitsBuilder::Image16(10, 4001).bytes());
    state.CentroidX[1] = -1;
    const std::vector<std::string> frames = {good, dir.file("wide.fits"), dir.file("missing.fits")};
    EXPECT_EQ(RunError(frames, settings, state), msg::kTrackTooLarge);
    EXPECT_DOUBLE_EQ(state.CentroidX[0], 15.5) << "frame 0 stays measured";
    EXPECT_DOUBLE_EQ(state.CentroidX[1], -1) << "the refused frame leaves its entry";

    settings.darkProcessing = true;
    settings.darks = {dir.file("tall.fits"), dir.file("missing.fits")};
    EXPECT_EQ(RunError({good, good}, settings, state), msg::kTrackTooLarge);
}

TEST_F(MeasurementRun, AFrameOfAnotherSizeStopsTheRunAndKeepsTheEarlierResults) {
    IntArray2D a = Flat(60, 50, 100);
    a[20][25] = 900;
    IntArray2D other = Flat(60, 49, 100);
    other[20][25] = 900;
    const std::vector<std::string> frames = {Write(dir, "0.fits", a), Write(dir, "1.fits", a),
                                             Write(dir, "2.fits", other), Write(dir, "3.fits", a)};
    state.CentroidX[2] = 123;
    state.CentroidX[3] = 456;
    EXPECT_EQ(RunError(frames, settings, state), msg::kTrackSizeDiffers);
    EXPECT_DOUBLE_EQ(state.CentroidX[0], 20.5);
    EXPECT_DOUBLE_EQ(state.CentroidX[1], 20.5);
    EXPECT_DOUBLE_EQ(state.CentroidX[2], 123);
    EXPECT_DOUBLE_EQ(state.CentroidX[3], 456);
}

TEST_F(MeasurementRun, UnreadableFramesRaiseTheReadersError) {
    IntArray2D a = Flat(30, 30, 100);
    a[10][10] = 500;
    test::WriteBytes(dir.file("text.fits"), test::BytesOf("not an image at all"));
    for (const std::string& bad : {dir.file("missing.fits"), dir.file("text.fits")}) {
        try {
            RunMeasurement({Write(dir, "a.fits", a), bad}, settings, state);
            ADD_FAILURE() << bad << ": no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.path(), bad);
        }
    }
}

TEST_F(MeasurementRun, ZeroVolumeEmptiesTheProgressAndStops) {
    const std::vector<std::string> frames = {Write(dir, "u.fits", Flat(40, 40, 500)), dir.file("never-read.fits")};
    Recorder progress;
    try {
        RunMeasurement(frames, settings, state, &progress);
        ADD_FAILURE() << "no error";
    } catch (const TrackingError& e) {
        EXPECT_STREQ(e.what(), msg::kTrackPsfZero);
    }
    EXPECT_EQ(progress.events, (std::vector<std::string>{"max 2", "pos 1", "max 0"}));
}

TEST_F(MeasurementRun, AGivenStarIsFollowedFromFrameToFrame) {
    // The star moves 3 pixels right and 2 down per frame; a brighter star elsewhere would win a
    // whole-frame search. Each window is centred on the previous centroid, so the search range
    // of 8 keeps the star in view.
    std::vector<std::string> frames;
    for (int i = 0; i < 6; ++i) {
        IntArray2D a = Flat(120, 100, 1000);
        AddStar(a, 30.4 + 3 * i, 40.7 + 2 * i, 8000);
        AddStar(a, 100.5, 80.5, 30000);
        frames.push_back(Write(dir, std::string("f").append(std::to_string(i)).append(".fits"), a));
    }
    settings.starSpecified = true;
    settings.starX = 31;
    settings.starY = 39;
    settings.searchRange = 8;
    settings.psfRadius = 40;  // takes no part with a star given
    RunMeasurement(frames, settings, state);
    EXPECT_EQ(state.SearchRadius, 8);
    EXPECT_EQ(state.FirstPeakX, 30);
    EXPECT_EQ(state.FirstPeakY, 40);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(state.CentroidX[i], 30.4 + 3 * i, 0.05) << "frame " << i;
        EXPECT_NEAR(state.CentroidY[i], 40.7 + 2 * i, 0.05) << "frame " << i;
    }

    settings.starSpecified = false;
    settings.psfRadius = 10;
    RunMeasurement(frames, settings, state);
    EXPECT_NEAR(state.CentroidX[3], 100.5, 0.05) << "without a star given the brightest one is taken";
}

TEST_F(MeasurementRun, AStarLostOffTheFrameStopsWithThePsfMessage) {
    // Picked beyond the right edge: the window holds no pixel of the frame.
    IntArray2D a = Flat(50, 50, 100);
    a[25][25] = 900;
    const std::vector<std::string> frames = {Write(dir, "a.fits", a)};
    settings.starSpecified = true;
    settings.starX = 80;
    settings.starY = 25;
    settings.searchRange = 20;
    EXPECT_EQ(RunError(frames, settings, state), msg::kTrackPsfZero);
    settings.starX = 25;
    settings.searchRange = 0;
    EXPECT_EQ(RunError(frames, settings, state), msg::kTrackPsfZero);
}

TEST_F(MeasurementRun, MasterDarkIsTheTruncatedMeanAndSubtractionStopsAtZero) {
    // Frame: sky 100, A = 1000 at (50, 60), B = 600 at (52, 60). Darks 401 and 400 at A: the
    // master holds trunc(400.5) = 400, A becomes 600 and ties with B; A wins the tie and the
    // centroid lies between them, at 51.5. (A rounded master, 401, would make B the peak.)
    IntArray2D frame = Flat(100, 100, 100);
    frame[50][60] = 1000;
    frame[52][60] = 600;
    IntArray2D d1 = Flat(100, 100, 0), d2 = Flat(100, 100, 0);
    d1[50][60] = 401;
    d2[50][60] = 400;
    settings.darkProcessing = true;
    settings.darks = {Write(dir, "d1.fits", d1), Write(dir, "d2.fits", d2)};
    RunMeasurement({Write(dir, "f.fits", frame)}, settings, state);
    EXPECT_EQ(state.FirstPeakX, 50);
    EXPECT_DOUBLE_EQ(state.CentroidX[0], 51.5);
    EXPECT_EQ(std::lround(state.FwhmRadius[0] * state.FwhmRadius[0] / 0.318309891613572), 2);

    // The dark 1300 over A (700 above it) makes A 0, not -300: the window minimum stays 0, B at
    // 300 is the peak and only B reaches half of 300. Unclamped, the minimum -300 would put
    // every sky pixel at d = 400, above half of 600. The dark is stored raw under BZERO 0 and
    // read with that offset (32768 would make every pixel 0).
    IntArray2D g = Flat(100, 100, 100);
    g[50][60] = 1000;
    g[70][60] = 300;
    test::WriteBytes(dir.file("dz.fits"),
                     FitsBuilder::Image16(100, 100, "0")
                         .samples(100, 100, [](int x, int y) { return std::uint16_t(x == 50 && y == 60 ? 1300 : 0); })
                         .bytes());
    settings.darks = {dir.file("dz.fits")};
    RunMeasurement({Write(dir, "g.fits", g)}, settings, state);
    EXPECT_EQ(state.FirstPeakX, 70);
    EXPECT_NEAR(state.FwhmRadius[0], 0.5642, 5e-5);

    // Dark processing with no darks listed subtracts nothing: A (d = 900) outweighs B (500).
    settings.darks.clear();
    RunMeasurement({dir.file("f.fits")}, settings, state);
    EXPECT_DOUBLE_EQ(state.CentroidX[0], (50.5 * 900 + 52.5 * 500) / 1400);
}

TEST_F(MeasurementRun, DarksOfAnotherSizeStopTheRun) {
    IntArray2D frame = Flat(40, 30, 100);
    frame[20][15] = 900;
    const std::string f = Write(dir, "f.fits", frame);
    const std::string same = Write(dir, "same.fits", Flat(40, 30, 5));
    const std::string narrow = Write(dir, "narrow.fits", Flat(39, 30, 5));
    settings.darkProcessing = true;
    // The message names the dark and the file it does not fit, with both sizes.
    const struct {
        std::vector<std::string> darks;
        std::string says;
    } rows[] = {
        {{narrow}, FillMessage(msg::kTrackDarkSizeDiffers, narrow, 39, 30, f, 40, 30)},
        {{same, narrow}, FillMessage(msg::kTrackDarksDiffer, narrow, 39, 30, same, 40, 30)},
        {{narrow, same}, FillMessage(msg::kTrackDarksDiffer, same, 40, 30, narrow, 39, 30)},
    };
    for (const auto& row : rows) {
        settings.darks = row.darks;
        EXPECT_EQ(RunError({f, f}, settings, state), row.says) << row.darks.size() << " darks";
    }
}

// The run as first described: whole frames read, converted with 32768, hot pixels removed,
// the master dark subtracted, then the star measured. The band read must match it exactly.
void ReferenceRun(const std::vector<std::string>& frames, const MeasureSettings& s, TrackingState& state) {
    IntArray2D dark;
    if (s.darkProcessing && !s.darks.empty()) {
        for (const std::string& d : s.darks) {
            FitsImage img = LoadFits(d);
            if (dark.empty()) dark = IntArray2D(img.header.width, img.header.height);
            for (int x = 0; x < dark.width(); ++x)
                for (int y = 0; y < dark.height(); ++y) dark[x][y] += img.samples[x][y];
        }
        for (int x = 0; x < dark.width(); ++x)
            for (int y = 0; y < dark.height(); ++y) dark[x][y] /= int(s.darks.size());
    }
    state.MeanX = state.MeanY = 0;
    const int r = s.starSpecified ? s.searchRange : std::max(10, s.psfRadius);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FitsHeader h = ReadFitsHeader(frames[i]);
        IntArray2D p(h.width, h.height);
        ReadFits(frames[i], p);
        ApplyBzero(32768, h.width, h.height, p);
        if (s.noiseCut) RemoveHotPixels(2.0, h.width, h.height, p);
        if (!dark.empty())
            for (int x = 0; x < h.width; ++x)
                for (int y = 0; y < h.height; ++y) p[x][y] = std::max(0, p[x][y] - dark[x][y]);
        const int cx = i == 0 ? s.starX : int(state.CentroidX[i - 1]);
        const int cy = i == 0 ? s.starY : int(state.CentroidY[i - 1]);
        const StarMeasurement m = MeasureStar(p, h.width, h.height, s.starSpecified, cx, cy, r);
        state.CentroidX[i] = m.cx;
        state.CentroidY[i] = m.cy;
        state.FwhmRadius[i] = m.fwhmRadius;
        state.MeanX += m.cx / frames.size();
        state.MeanY += m.cy / frames.size();
        if (i == 0) {
            state.FirstPeakX = m.px;
            state.FirstPeakY = m.py;
        }
    }
}

TEST_F(MeasurementRun, ReadingOnlyTheReachableRowsGivesTheFullReadsResults) {
    // Noisy frames with many hot pixels (on every band edge somewhere) and darks with hot
    // pixels; a star drifting along one of the frame's edges or through its middle.
    const int w = 96, h = 80;
    std::mt19937 rng(3);
    auto noisy = [&](int level, int hotEvery) {
        IntArray2D a(w, h);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                a[x][y] = rng() % hotEvery == 0 ? int(level + 2000 + rng() % 30000) : int(level + rng() % 40);
        return a;
    };
    const std::vector<std::string> darks = {Write(dir, "d0.fits", noisy(200, 30)),
                                            Write(dir, "d1.fits", noisy(210, 30))};
    struct Path {
        const char* what;
        double x, y, dx, dy;
        int range;
    } paths[] = {{"along the top edge", 40.3, 2.6, 1.1, 0.4, 6},
                 {"along the bottom edge", 20.8, 77.4, 2.2, -0.3, 5},
                 {"through the middle", 30.1, 41.7, 1.4, 1.9, 7},
                 {"search range beyond the frame", 50.5, 40.2, 0.3, 0.2, 60},
                 // The peak then lies on the window's first or last row, and the centroid square
                 // reaches the band's outermost rows.
                 {"running ahead above the window", 45.5, 33.5, 0.5, -6.5, 5},
                 {"running ahead below the window", 45.5, 45.5, -0.5, 6.5, 5}};
    for (const Path& path : paths) {
        std::vector<std::string> frames;
        for (int i = 0; i < 4; ++i) {
            IntArray2D a = noisy(1000, 12);
            AddStar(a, path.x + path.dx * i, path.y + path.dy * i, 20000, 1.3);
            frames.push_back(Write(dir, std::to_string(i) + ".fits", a));
        }
        for (int variant = 0; variant < 4; ++variant) {
            MeasureSettings s;
            s.starSpecified = true;
            s.starX = int(path.x);
            s.starY = int(path.y) + (path.dy < -6 ? path.range + 1 : path.dy > 6 ? -path.range : 0);
            s.searchRange = path.range;
            s.noiseCut = variant & 1;
            s.darkProcessing = variant & 2;
            s.darks = darks;
            TrackingState expected, got;
            ReferenceRun(frames, s, expected);
            RunMeasurement(frames, s, got);
            const std::string what =
                std::string(path.what) + (s.noiseCut ? ", noise cut" : "") + (s.darkProcessing ? ", darks" : "");
            EXPECT_EQ(got.FirstPeakX, expected.FirstPeakX) << what;
            EXPECT_EQ(got.FirstPeakY, expected.FirstPeakY) << what;
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(got.CentroidX[i], expected.CentroidX[i]) << what << ", frame " << i;
                EXPECT_EQ(got.CentroidY[i], expected.CentroidY[i]) << what << ", frame " << i;
                EXPECT_EQ(got.FwhmRadius[i], expected.FwhmRadius[i]) << what << ", frame " << i;
            }
            EXPECT_EQ(got.MeanX, expected.MeanX) << what;

            s.starSpecified = false;
            s.psfRadius = 10;
            ReferenceRun(frames, s, expected);
            RunMeasurement(frames, s, got);
            for (int i = 0; i < 4; ++i) EXPECT_EQ(got.CentroidX[i], expected.CentroidX[i]) << what << ", whole frame";
        }
    }
}

TEST_F(MeasurementRun, AnUnreadableDarkStopsTheRunBeforeTheFirstFrame) {
    // Every dark is opened and its header read before any frame, though a run with a star
    // given reads only a few rows of each later on.
    IntArray2D frame = Flat(40, 300, 100);
    frame[20][150] = 900;
    const std::string f = Write(dir, "f.fits", frame);
    const std::string good = Write(dir, "good.fits", Flat(40, 300, 5));
    test::Bytes cut = EncodeFits16(Flat(40, 300, 5), 40, 300);
    cut.resize(cut.size() / 2);
    test::WriteBytes(dir.file("cut.fits"), cut);
    test::WriteBytes(
        dir.file("bzero.fits"),
        FitsBuilder::Image16(40, 300, "many").samples(40, 300, [](int, int) { return std::uint16_t(5); }).bytes());
    settings.darkProcessing = true;
    settings.noiseCut = true;
    settings.starSpecified = true;
    settings.starX = 20;
    settings.starY = 150;
    settings.searchRange = 5;
    for (const char* bad : {"missing.fits", "cut.fits", "bzero.fits"}) {
        settings.darks = {good, dir.file(bad)};
        state.CentroidX[0] = -1;
        Recorder progress;
        try {
            RunMeasurement({f, f}, settings, state, &progress);
            ADD_FAILURE() << bad << ": no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.path(), dir.file(bad));
        }
        EXPECT_TRUE(progress.events.empty()) << bad;
        EXPECT_EQ(state.CentroidX[0], -1) << bad << ": frame 0 measured";
    }
}

TEST_F(MeasurementRun, DarkRowsMadeAsTheStarWandersGiveTheWholeDarksResults) {
    // A star wandering up and down over the rows where the master dark's blocks meet, in frames
    // taller than the noise cut's bands, with hot pixels everywhere; one dark stored under
    // BZERO 32768, one raw under BZERO 0 (read with its own offset).
    const int w = 30, h = 300;
    std::mt19937 rng(9);
    auto noisy = [&](int level) {
        IntArray2D a(w, h);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) a[x][y] = rng() % 9 == 0 ? int(level + rng() % 40000) : int(level + rng() % 40);
        return a;
    };
    const IntArray2D raw = noisy(150);
    test::WriteBytes(
        dir.file("raw.fits"),
        FitsBuilder::Image16(w, h, "0").samples(w, h, [&](int x, int y) { return std::uint16_t(raw[x][y]); }).bytes());
    const std::vector<std::string> darks = {Write(dir, "d.fits", noisy(200)), dir.file("raw.fits")};
    std::vector<std::string> frames;
    for (double y : {50.5, 59.5, 67.5, 61.5, 69.5, 78.5, 70.5, 62.5, 55.5, 49.5, 48.5}) {
        IntArray2D a = noisy(1000);
        AddStar(a, 15.3, y, 20000, 1.3);
        frames.push_back(Write(dir, std::to_string(frames.size()) + ".fits", a));
    }
    for (int variant = 0; variant < 4; ++variant) {
        MeasureSettings s;
        s.darkProcessing = true;
        s.darks = darks;
        s.noiseCut = variant & 1;
        s.starSpecified = variant & 2;
        s.starX = 15;
        s.starY = 50;
        s.searchRange = 10;
        TrackingState expected, got;
        ReferenceRun(frames, s, expected);
        RunMeasurement(frames, s, got);
        const std::string what =
            std::string(s.starSpecified ? "star given" : "whole frame") + (s.noiseCut ? ", noise cut" : "");
        EXPECT_EQ(got.FirstPeakY, expected.FirstPeakY) << what;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(got.CentroidX[i], expected.CentroidX[i]) << what << ", frame " << i;
            EXPECT_EQ(got.CentroidY[i], expected.CentroidY[i]) << what << ", frame " << i;
            EXPECT_EQ(got.FwhmRadius[i], expected.FwhmRadius[i]) << what << ", frame " << i;
        }
    }
}

}  // namespace
}  // namespace nuvak
