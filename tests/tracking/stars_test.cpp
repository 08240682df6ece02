#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tracking/stars.h"

namespace nuvak {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(FieldStars, FindsTheBrightIsolatedUnsaturatedStarsBrightestFirst) {
    // Ten stars placed by hand, brightest first, and room for the stars to pass over: a
    // saturated one, a pair 10 pixels apart and one 15 pixels from the edge.
    const std::vector<std::pair<double, double>> places = {{70, 70},   {150, 65},  {230, 75},  {320, 70}, {75, 150},
                                                           {160, 145}, {240, 155}, {330, 150}, {80, 230}, {165, 235}};
    const std::vector<FieldOptions::Extra> passOver = {
        {245, 232, 200000}, {322, 226, 8000}, {330, 232, 8000}, {15, 200, 8000}};
    const struct {
        const char* what;
        bool field, extras;
        int maxStars, found;
        bool bayer = false;
    } rows[] = {
        {"a clean field", true, false, 20, 10},  {"the stars to pass over passed over", true, true, 20, 10},
        {"the brightest few", true, true, 3, 3}, {"only stars to pass over", false, true, 20, 0},
        {"a blank sky", false, false, 20, 0},    {"a colour camera's mosaic, on superpixels", true, true, 20, 10, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        test::TempDir dir;
        FieldOptions o;
        o.frames = 1;
        o.stars = 0;
        if (r.field) o.places = places;
        if (r.extras) o.extras = passOver;
        o.bayer = r.bayer;
        const double px = r.bayer ? 2 : 1;  // image pixels a searched pixel
        FieldTruth truth;
        const std::vector<SyntheticFrame> frames = WriteSyntheticField(dir.path().string(), o, &truth);
        const std::vector<FieldStar> stars = FindFieldStars(frames[0].path, MeasureSettings{}, r.maxStars);
        ASSERT_EQ(int(stars.size()), r.found);
        // Searched in bands of 7 rows, about each star only its rows: the same stars.
        const std::vector<FieldStar> banded =
            FindFieldStars(frames[0].path, MeasureSettings{}, r.maxStars, std::size_t(o.width) * 4 * 7);
        ASSERT_EQ(banded.size(), stars.size());
        for (std::size_t k = 0; k < stars.size(); ++k) {
            EXPECT_EQ(banded[k].x, stars[k].x) << k;
            EXPECT_EQ(banded[k].y, stars[k].y) << k;
            EXPECT_EQ(banded[k].fwhmPx, stars[k].fwhmPx) << k;
        }
        for (std::size_t k = 0; k < stars.size(); ++k) {
            EXPECT_NEAR(stars[k].x, truth.x[k][0], 0.3 * px) << k;
            EXPECT_NEAR(stars[k].y, truth.y[k][0], 0.3 * px) << k;
            EXPECT_NEAR(stars[k].fwhmPx, o.fwhmPx, px) << k;
            if (k) {
                EXPECT_LT(stars[k].peak, stars[k - 1].peak) << k;
            }
        }
    }
}

// A field of stars in memory: places spread about the centre of a 400 x 300 frame, turned at
// rateDegPerHour and scaled by 1 + scalePerHour t about the centre, drifting, and each star
// moved by its own seeing.
struct Track {
    std::vector<std::vector<ReportFrame>> stars;
    std::vector<double> t, theta, scale, dx, dy;
    std::vector<std::vector<double>> ex, ey;  // each star's own offset about the field's motion
};

Track MakeTrack(int stars, int frames, double rateDegPerHour, double scalePerHour, double seeingPx, double sigmaPx) {
    Track k;
    std::mt19937 random(11);
    std::normal_distribution<double> seeing(0, 1);
    k.stars.assign(std::size_t(stars), std::vector<ReportFrame>(std::size_t(frames)));
    k.ex.assign(std::size_t(stars), std::vector<double>(std::size_t(frames)));
    k.ey = k.ex;
    for (int i = 0; i < frames; ++i) {
        const double t = 60.0 * i, th = rateDegPerHour * t / 3600 * kPi / 180, s = 1 + scalePerHour * t / 3600;
        k.t.push_back(t), k.theta.push_back(th), k.scale.push_back(s);
        k.dx.push_back(0.5 * t / 60), k.dy.push_back(-0.3 * t / 60);
        for (int j = 0; j < stars; ++j) {
            const double a = 2.4 * j, r = 40 + 10.0 * j, u = r * std::cos(a), v = r * std::sin(a);
            const double ex = seeingPx * seeing(random), ey = seeingPx * seeing(random);
            ReportFrame& f = k.stars[std::size_t(j)][std::size_t(i)];
            f.found = true;
            f.x = 200 + s * (std::cos(th) * u - std::sin(th) * v) + k.dx.back() + ex;
            f.y = 150 + s * (std::sin(th) * u + std::cos(th) * v) + k.dy.back() + ey;
            f.centroidSigmaPx = sigmaPx;
            k.ex[std::size_t(j)][std::size_t(i)] = ex, k.ey[std::size_t(j)][std::size_t(i)] = ey;
        }
    }
    return k;
}

double Rms(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0;
    for (std::size_t i = 0; i < a.size(); ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(s / double(a.size()));
}

TEST(SolveField, GivesBackTheRotationScaleMotionAndSeeing) {
    const struct {
        const char* what;
        int stars;
        double seeingPx, sigmaPx, tolerance;  // tolerance: on the rate, relative
    } rows[] = {
        {"no seeing: exact", 8, 0, 0.01, 1e-9},
        {"seeing, weighted by the centroid sigmas", 12, 0.2, 0.02, 0.05},
        {"seeing, equal weights without sigmas", 12, 0.2, kNoValue, 0.05},
    };
    constexpr double kScale = 1.5;  // arc-seconds per pixel
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const Track k = MakeTrack(r.stars, 60, 4, 2e-3, r.seeingPx, r.sigmaPx);
        const FieldMotion m = SolveField(k.stars, k.t, std::vector<bool>(60, true), 400, 300, kScale, 90);
        EXPECT_EQ(m.referenceFrame, 0);
        EXPECT_EQ(m.stars, r.stars);
        EXPECT_NEAR(m.rotationDegPerHour.value, 4, 4 * r.tolerance);
        EXPECT_LE(m.rotationDegPerHour.ci95->first, 4 + 1e-9);
        EXPECT_GE(m.rotationDegPerHour.ci95->second, 4 - 1e-9);
        const double corner = 4 * kPi / 180 / 60 * 250 * kScale;  // half the diagonal: 250 pixels
        EXPECT_NEAR(m.rateArcsecPerMinAtCorner.value, corner, r.tolerance * corner);
        const double jitter = r.seeingPx * kScale;
        EXPECT_NEAR(m.seeingJitterArcsec.value, jitter, 0.1 * jitter + 1e-9);
        EXPECT_LE(m.seeingJitterArcsec.ci95->first, jitter + 1e-9);
        EXPECT_GE(m.seeingJitterArcsec.ci95->second, jitter - 1e-9);
        for (std::size_t i = 0; i < k.t.size(); ++i) {
            EXPECT_EQ(m.starCount[i], r.stars);
            EXPECT_NEAR(m.rotationRad[i], k.theta[i], 1e-9 + 0.015 * r.seeingPx);
            EXPECT_NEAR(m.scale[i], k.scale[i], 1e-9 + 0.015 * r.seeingPx);
            // The camera turned by 90 degrees: image y is RA, image x the negative of Dec.
            EXPECT_NEAR(m.ra[i], m.dy[i] * kScale, 1e-9);
            EXPECT_NEAR(m.dec[i], -m.dx[i] * kScale, 1e-9);
        }
        // The common motion is better than any one star's own track from frame 0.
        const double common = std::hypot(Rms(m.dx, k.dx), Rms(m.dy, k.dy));
        double best = 1e300;
        for (std::size_t j = 0; j < k.ex.size(); ++j) {
            const std::vector<double> x0(k.t.size(), k.ex[j][0]), y0(k.t.size(), k.ey[j][0]);
            best = std::min(best, std::hypot(Rms(k.ex[j], x0), Rms(k.ey[j], y0)));
        }
        if (r.seeingPx > 0) EXPECT_LT(common, best);
        else EXPECT_LT(common, 1e-9);
    }
}

TEST(SolveField, FramesWithFewStarsAnOutlierOrNoReference) {
    const struct {
        const char* what;
        int stars;
        std::function<void(Track&, std::vector<bool>&)> spoil;
        int reference;
        std::vector<int> counts;  // per frame; frames past the list have every star
    } rows[] = {
        {"two stars in the first frame, in frames 4 and 5, none usable in frame 6",
         5,
         [](Track& k, std::vector<bool>& usable) {
             for (int j = 2; j < 5; ++j)
                 for (int i : {0, 4, 5}) k.stars[std::size_t(j)][std::size_t(i)].found = false;
             usable[6] = false;
         },
         1,
         {2, 5, 5, 5, 2, 2, 0}},
        {"a star taken over by another in frame 7",
         10,
         [](Track& k, std::vector<bool>&) { k.stars[3][7].x += 15; },
         0,
         {10, 10, 10, 10, 10, 10, 10, 9}},
        {"no frame with three stars", 2, [](Track&, std::vector<bool>&) {}, -1, {0, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Track k = MakeTrack(r.stars, 30, 4, 0, 0.1, 0.02);
        std::vector<bool> usable(30, true);
        r.spoil(k, usable);
        const FieldMotion m = SolveField(k.stars, k.t, usable, 400, 300, 1.5, 0);
        EXPECT_EQ(m.referenceFrame, r.reference);
        for (std::size_t i = 0; i < k.t.size(); ++i) {
            const int count = r.reference < 0 ? 0 : i < r.counts.size() ? r.counts[i] : r.stars;
            EXPECT_EQ(m.starCount[i], count) << i;
            EXPECT_EQ(std::isnan(m.rotationRad[i]), count < 3) << i;
            EXPECT_EQ(std::isnan(m.dx[i]), count == 0) << i;
        }
        if (r.reference < 0) {
            EXPECT_TRUE(std::isnan(m.rotationDegPerHour.value));
            continue;
        }
        EXPECT_NEAR(m.rotationDegPerHour.value, 4, 0.2);
        EXPECT_LT(m.seeingJitterArcsec.value, 0.2);
    }
}

TEST(FieldStars, EndToEndGivesBackTheFieldsRotation) {
    test::TempDir dir;
    const FieldOptions o;  // 10 stars, 20 frames, 3 degrees an hour
    FieldTruth truth;
    const std::vector<SyntheticFrame> frames = WriteSyntheticField(dir.path().string(), o, &truth);
    std::vector<std::string> paths(frames.size());
    std::transform(frames.begin(), frames.end(), paths.begin(), [](const SyntheticFrame& f) { return f.path; });
    const MeasureSettings settings;
    const std::vector<FieldStar> stars = FindFieldStars(paths[0], settings, 20);
    ASSERT_EQ(int(stars.size()), o.stars);
    const std::vector<std::vector<ReportFrame>> measured = MeasureFieldStars(paths, settings, stars);
    const TimeAxis axis = FrameTimes(measured[0], 60);
    ASSERT_EQ(axis.source, "DATE-OBS");
    const FieldMotion m =
        SolveField(measured, axis.t, std::vector<bool>(paths.size(), true), o.width, o.height, o.arcsecPerPixel, 0);
    EXPECT_NEAR(m.rotationDegPerHour.value, o.rotationDegPerHour, 0.1 * o.rotationDegPerHour);
    EXPECT_NEAR(m.seeingJitterArcsec.value, o.seeingArcsec, 0.2 * o.seeingArcsec);
    double se = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(m.starCount[i], o.stars) << i;
        se += std::pow(m.dx[i] - (frames[i].x - o.width / 2.0), 2) +
              std::pow(m.dy[i] - (frames[i].y - o.height / 2.0), 2);
    }
    const double rms = std::sqrt(se / double(frames.size()));
    EXPECT_LT(rms, 0.25);
}

}  // namespace
}  // namespace nuvak
