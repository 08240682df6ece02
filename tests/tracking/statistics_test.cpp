#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "core/error.h"
#include "resources/messages.h"
#include "tracking/statistics.h"

namespace nuvak {
namespace {

// A state holding the given centroids as measured frames.
TrackingState Frames(std::initializer_list<std::pair<double, double>> centroids) {
    TrackingState s;
    for (const auto& [x, y] : centroids) {
        s.CentroidX[s.FrameCount] = x;
        s.CentroidY[s.FrameCount++] = y;
    }
    return s;
}

TEST(TrackingStatistics, NoFramesGiveTheBarePrefixesWithoutReadingTheParameters) {
    TrackingState s;
    TrackingParameters p;
    p.focalLength = "abc";
    EXPECT_EQ(RefreshStatistics(s, p),
              (ResultLabels{"RMS = ", "RMS_X = ", "RMS_Y = ", "PV_X = ", "PV_Y = ", "FWHM = ", "Vx = ", "Vy = "}));
}

TEST(TrackingStatistics, TwoFramesMovingTwoPixelsInX) {
    // (10, 20) then (12, 20), 15 s apart: mean (11, 20), deviations x -1 and +1; RMS with N - 1
    // is sqrt(2 / 1); the star moves 2 pixels per frame, 4 frames a minute.
    TrackingState s = Frames({{10, 20}, {12, 20}});
    s.FwhmRadius[0] = 2, s.FwhmRadius[1] = 3;
    EXPECT_EQ(RefreshStatistics(s, TrackingParameters{}),
              (ResultLabels{"RMS = 1.41 pxls", "RMS_X = 1.41 pxls", "RMS_Y = 0.00 pxls", "PV_X = 2.00 pxls",
                            "PV_Y = 0.00 pxls", "FWHM = 2.50 pxls", "Vx = 8.00 p/min.", "Vy = 0.00 p/min."}));
    EXPECT_EQ(s.MeanX, 11);
    EXPECT_EQ(s.MeanY, 20);
    EXPECT_EQ(s.DeviationX[1], 1);
    EXPECT_EQ(s.MinDevX, -1);
    EXPECT_EQ(s.DriftX, 8);
}

TEST(TrackingStatistics, FlatteningRemovesAStraightDriftWithoutMinusZero) {
    // A steady drift of -0.1 pixel per frame: flattening leaves rounding residue only, the
    // drift a tiny negative number, and the flattened axis reads 0.00 everywhere.
    TrackingState s = Frames({{10.5, 5}, {10.4, 5.5}, {10.3, 5}, {10.2, 5.5}, {10.1, 5}});
    TrackingParameters p;
    p.flattenX = true;
    const ResultLabels labels = RefreshStatistics(s, p);
    ASSERT_LT(s.DriftX, 0) << "the case meant to show a '-0.00'";
    EXPECT_EQ(labels[1], "RMS_X = 0.00 pxls");
    EXPECT_EQ(labels[3], "PV_X = 0.00 pxls");
    EXPECT_EQ(labels[6], "Vx = 0.00 p/min.");
    EXPECT_EQ(labels[4], "PV_Y = 0.50 pxls");  // y keeps its zig-zag: 5.5 - 5

    // The three-point line through (0, 1), (1, 3), (2, 2): slope 3 / 6, intercept 9 / 6.
    const double y[] = {1, 3, 2};
    double a = 0, b = 0;
    FitLine(y, 3, a, b);
    EXPECT_EQ(a, 0.5);
    EXPECT_EQ(b, 1.5);
}

TEST(TrackingStatistics, ParameterBoundsRefuseWithTheirMessageAndKeepTheState) {
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"30000", "7.4", "15", nullptr},  {"30001", "7.4", "15", msg::kTrackFocalRange},
        {"0", "7.4", "15", msg::kTrackFocalRange},
        {"7800", "100.0", "15", nullptr}, {"7800", "100.1", "15", msg::kTrackPixelRange},
        {"7800", "0", "15", msg::kTrackPixelRange},
        {"7800", "7.4", "1000", nullptr}, {"7800", "7.4", "1001", msg::kTrackIntervalRange},
        {"-1", "0", "0", msg::kTrackFocalRange},  // the focal length is checked first
    };
    for (const auto& [focal, pixel, interval, message] : rows) {
        SCOPED_TRACE(std::string(focal) + " mm, " + pixel + " um, " + interval + " s");
        TrackingState s = Frames({{10, 20}, {12, 20}});
        s.MeanX = 123;
        const TrackingParameters p{focal, pixel, interval};
        if (message == nullptr) {
            EXPECT_NO_THROW(RefreshStatistics(s, p));
            continue;
        }
        try {
            RefreshStatistics(s, p);
            ADD_FAILURE() << "accepted";
        } catch (const TrackingError& e) {
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_EQ(s.MeanX, 123) << "recomputed after a refusal";
    }
    // A multiplier that is not a number stops the call before anything changes, too.
    TrackingState s = Frames({{10, 20}, {12, 20}});
    s.MeanX = 123;
    TrackingParameters p;
    p.multiplier = "abc";
    EXPECT_THROW(RefreshStatistics(s, p), ConversionError);
    EXPECT_EQ(s.MeanX, 123);
}

TEST(TrackingStatistics, MultiplierAppliesAboveOneThousandthUpToThree) {
    // (0, 0) then (200, 0): P-V 200 pixels, 800 pixels per minute. At 7.4 um and 7800 mm a pixel
    // is 0.195687 arc-seconds: 39.137 and 156.550; twice the focal length halves them.
    EXPECT_NEAR(ArcsecPerPixel(7.4, 7800), 0.1956871, 1e-7);
    const std::tuple<const char*, double, const char*, const char*> rows[] = {
        {"1.000", 7800, "PV_X = 39.14 秒角", "Vx = 156.55 秒角/min."},
        {"2.0", 15600, "PV_X = 19.57 秒角", "Vx = 78.27 秒角/min."},
        {"3.0", 23400, "PV_X = 13.05 秒角", "Vx = 52.18 秒角/min."},
        {"3.5", 7800, "PV_X = 39.14 秒角", "Vx = 156.55 秒角/min."},
        {"0.001", 7800, "PV_X = 39.14 秒角", "Vx = 156.55 秒角/min."},
    };
    for (const auto& [multiplier, focal, pv, vx] : rows) {
        TrackingState s = Frames({{0, 0}, {200, 0}});
        TrackingParameters p;
        p.arcsec = true;
        p.multiplier = multiplier;
        const ResultLabels labels = RefreshStatistics(s, p);
        EXPECT_EQ(labels[3], pv) << multiplier;
        EXPECT_EQ(labels[6], vx) << multiplier;
        EXPECT_EQ(s.FocalLength, focal) << multiplier;
        EXPECT_EQ(s.PeakToValleyX, 200) << "the state stays in pixels";
    }
}

TEST(TrackingStatistics, OneFrameReportsZerosInsteadOfDividingByZero) {
    TrackingState s = Frames({{5, 6}});
    s.FwhmRadius[0] = 2;
    EXPECT_EQ(RefreshStatistics(s, TrackingParameters{}),
              (ResultLabels{"RMS = 0.00 pxls", "RMS_X = 0.00 pxls", "RMS_Y = 0.00 pxls", "PV_X = 0.00 pxls",
                            "PV_Y = 0.00 pxls", "FWHM = 2.00 pxls", "Vx = 0.00 p/min.", "Vy = 0.00 p/min."}));
}

TEST(FormatFixed, RoundsTheStoredValueHalfAwayFromZero) {
    const std::tuple<double, int, const char*> rows[] = {
        {0.125, 2, "0.13"},    // stored exactly: a true half goes up
        {2.675, 2, "2.67"},    // stored below 2.675, although 2.675 * 100 rounds to 267.5 in double
        {1.45, 1, "1.4"},      // stored below 1.45
        {-0.005, 2, "-0.01"},  // stored just beyond 0.005
        {-0.0006, 2, "0.00"},  // rounds to zero: no minus sign
        {-0.0, 2, "0.00"},     {2.5, 0, "3"},  {-2.5, 0, "-3"},  // away from zero, not to even
        {7.5, 2, "7.50"},      {1e20, 2, "100000000000000000000.00"},
    };
    for (const auto& [v, decimals, text] : rows) EXPECT_EQ(FormatFixed(v, decimals), text) << v << ", " << decimals;
}

}  // namespace
}  // namespace nuvak
