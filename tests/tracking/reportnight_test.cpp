#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tracking/report.h"
#include "tracking/reportnight.h"

namespace nuvak {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A night of found frames every 20 s on a slow drift with a little noise; each case bends it.
struct Night {
    std::vector<ReportFrame> frames;
    TimeAxis times{"DATE-OBS", {}, 1.7655e9};
    explicit Night(int n, double noisePx = 0.1, double driftPxPerFrame = 0.01, unsigned seed = 3) {
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0, noisePx);
        for (int k = 0; k < n; ++k) {
            ReportFrame f;
            f.path = "f";  // appended, not concatenated: g++ 12 warns wrongly about overlapping copies
            f.path += std::to_string(k);
            f.path += ".fits";
            f.found = true;
            f.x = 100 + driftPxPerFrame * k + noise(rng), f.y = 80 + noise(rng);
            f.fwhmPx = 3, f.hfdPx = 3, f.flux = 1e5, f.noise = 10, f.centroidSigmaPx = 0.1;
            frames.push_back(f);
            times.t.push_back(20.0 * k);
        }
    }
    TrackingReport report(const ReportOptions& extra = {}) const {
        ReportOptions o = extra;
        o.arcsecPerPixel = 1;
        o.decDeg = 30;
        return ComputeReport(frames, times, o);
    }
};

std::vector<std::size_t> flagged(const TrackingReport& r, const std::string& flag) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < r.flags.size(); ++i)
        if (std::find(r.flags[i].begin(), r.flags[i].end(), flag) != r.flags[i].end()) at.push_back(i);
    return at;
}

TEST(ReportNight, ConfoundersAreFlaggedAtTheirFrameAndKeptOutOfTheFits) {
    struct Case {
        const char* what;
        void (*bend)(Night&);
        const char* flag;
        std::vector<std::size_t> at;
        bool used;  // the flagged frames stay in the fits
    } cases[] = {
        {"a dither of both axes",
         [](Night& n) {
             for (std::size_t k = 20; k < 40; ++k) n.frames[k].x += 8, n.frames[k].y -= 6;
         },
         "jump",
         {20},
         true},
        {"a move of one axis is tracking, not a dither",
         [](Night& n) {
             for (std::size_t k = 20; k < 40; ++k) n.frames[k].x += 8;
         },
         "jump",
         {},
         true},
        {"a drifting stretch is no step",
         [](Night& n) {
             for (std::size_t k = 0; k < 40; ++k) n.frames[k].x += 0.5 * double(k);
         },
         "jump",
         {},
         true},
        {"a cloud", [](Night& n) { n.frames[12].flux = 3e4; }, "cloud", {12}, false},
        {"a thin cloud is no cloud", [](Night& n) { n.frames[12].flux = 6e4; }, "cloud", {}, true},
    };
    for (const Case& c : cases) {
        Night n(40);
        c.bend(n);
        const TrackingReport r = n.report();
        EXPECT_EQ(flagged(r, c.flag), c.at) << c.what;
        for (std::size_t i : c.at) EXPECT_EQ(r.used[i], c.used) << c.what;
        if (std::string(c.flag) == "jump") {
            EXPECT_EQ(r.jumps, c.at) << c.what;
            // The stretches share the slope: the dither leaves the drift alone.
            if (!c.at.empty()) {
                EXPECT_NEAR(r.driftRa.value, 0.01 * 3, 0.01) << c.what;
            }
        }
    }
}

TEST(ReportNight, AFocusDriftIsWarnedOfAndASteadyWidthIsNot) {
    for (const double rise : {0.0, 0.005, 0.05}) {  // px a frame: 0, 0.2 and 2 px over 40 frames
        Night n(40);
        for (std::size_t k = 0; k < n.frames.size(); ++k) n.frames[k].fwhmPx = 3 + rise * double(k);
        const TrackingReport r = n.report();
        const bool warned = std::any_of(r.warnings.begin(), r.warnings.end(),
                                        [](const ReportWarning& w) { return w.code == "focus_drift"; });
        EXPECT_NEAR(r.fwhmTrendPxPerHour.value, rise * 180, 1e-6) << rise;
        EXPECT_EQ(warned, rise > 0.01) << rise;
    }
}

TEST(ReportNight, TheStructureFunctionReadsNoiseDriftAndAPeriod) {
    struct Case {
        const char* what;
        double noisePx, driftPxPerFrame, periodS;
        const char* reading;
    } cases[] = {
        {"white noise", 0.3, 0, 0, "flat"},
        {"a drift", 0.05, 0.05, 0, "rising"},
        {"a periodic error of 600 s", 0.05, 0, 600, "periodic"},
    };
    for (const Case& c : cases) {
        Night n(150, c.noisePx, 0);
        for (std::size_t k = 0; k < n.frames.size(); ++k) {
            n.frames[k].x += c.driftPxPerFrame * double(k);
            if (c.periodS > 0) n.frames[k].x += 2 * std::sin(2 * kPi * n.times.t[k] / c.periodS);
        }
        const TrackingReport r = n.report();
        EXPECT_EQ(r.structureReading, c.reading) << c.what;
        ASSERT_GE(r.structureFunction.size(), 3u) << c.what;
        for (const StructurePoint& p : r.structureFunction) EXPECT_TRUE(p.lo <= p.rmsArcsec && p.rmsArcsec <= p.hi);
        if (c.periodS > 0) {
            EXPECT_NEAR(r.structurePeakLagS, c.periodS / 2, c.periodS * 0.15) << c.what;
        }
    }
}

TEST(ReportNight, PolarComponentFollowsTheHourAngle) {
    // A declination drift of 1 "/min: the altitude east and west, the azimuth at the meridian,
    // with the sign of the drift's geometry; the figure does not depend on the declination.
    struct Case {
        double hourAngleH, latDeg;
        const char* component;
        double arcmin;
    } cases[] = {
        {-6, 35, "altitude", 1 / (60 * 7.2921159e-5) / 60},
        {6, 35, "altitude", -1 / (60 * 7.2921159e-5) / 60},
        {0, 35, "azimuth", -1 / (60 * 7.2921159e-5 * std::cos(35 * kPi / 180)) / 60},
        {0, -35, "azimuth", 1 / (60 * 7.2921159e-5 * std::cos(35 * kPi / 180)) / 60},
    };
    for (const Case& c : cases) {
        TrackingReport r;
        r.t = {0, 60};
        r.used = {true, true};
        r.driftDec = Figure{1, std::pair(0.5, 1.5)};
        const double utc = 1.7655e9, lon = 139;
        const double ra = std::fmod(HourAngleHours(utc, lon, 0) * 15 - c.hourAngleH * 15 + 720, 360);
        night::PolarByHourAngle(r, TimeAxis{"DATE-OBS", r.t, utc}, c.latDeg, lon, ra);
        ASSERT_TRUE(r.polarHourAngle);
        EXPECT_EQ(r.polarHourAngle->component, c.component) << c.hourAngleH;
        EXPECT_NEAR(r.polarHourAngle->meanH, c.hourAngleH, 0.01);
        EXPECT_NEAR(r.polarHourAngle->errorArcmin.value, c.arcmin, std::abs(c.arcmin) * 0.01) << c.hourAngleH;
        EXPECT_LE(r.polarHourAngle->errorArcmin.ci95->first, r.polarHourAngle->errorArcmin.ci95->second);
    }
}

TEST(ReportNight, SiteRightAscensionAndAnglesFromHeaders) {
    const auto card = [](const std::string& key, const std::string& value) {
        std::string c = key;
        c.resize(8, ' ');
        c += "= " + value;
        c.resize(80, ' ');
        return c;
    };
    struct Case {
        std::string cards;
        std::optional<double> ra;
    } cases[] = {
        {card("OBJCTRA", "'05 30 00'"), 82.5},         {card("RA", "82.5"), 82.5}, {card("RA", "'05:30:00'"), 82.5},
        {card("OBJCTRA", "'25 00 00'"), std::nullopt}, {"", std::nullopt},
    };
    for (const Case& c : cases) {
        ReportFrame f;
        f.headerCards = c.cards;
        const auto ra = FramesRightAscension({f});
        ASSERT_EQ(ra.has_value(), c.ra.has_value()) << c.cards;
        if (ra) {
            EXPECT_NEAR(*ra, *c.ra, 1e-9);
        }
    }
    ReportFrame f;
    f.headerCards = card("SITELAT", "'+35 30 00'") + card("SITELONG", "-120.25");
    EXPECT_EQ(FramesSite({f}), std::optional(std::pair(35.5, -120.25)));
    for (const auto& [text, value] : {std::pair("-05:15:00", -5.25), std::pair("139.5", 139.5)})
        EXPECT_EQ(ParseAngle(text), value) << text;
    for (const char* bad : {"", "5::0", "north", "5 61"}) EXPECT_FALSE(ParseAngle(bad)) << bad;
    // 2000-01-01T12:00 UT: the mean sidereal time is 18.697 h.
    EXPECT_NEAR(HourAngleHours(946728000, 0, 0), 18.697374558 - 24, 1e-6);
}

TEST(ReportNight, FramesCsvHasARowAFrameWithItsDatesAndFlags) {
    Night n(5);
    n.frames[2].flux = 1e4;  // a cloud
    n.frames[3].path = "odd, name.fits";
    const std::string csv = FramesCsv(n.report(), n.frames);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < csv.size(); at = end + 1)
        lines.push_back(csv.substr(at, (end = csv.find('\n', at)) - at));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1].rfind("frame,file,utc_mid,jd_mid,t_s,x_px,y_px,ra_arcsec,dec_arcsec,flags,", 0), 0u);
    EXPECT_EQ(lines[2].rfind("1,f0.fits,2025-12-12T00:40:00.000,2461021.527778,", 0), 0u) << lines[2];
    EXPECT_NE(lines[4].find(",cloud,"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5].rfind("4,\"odd, name.fits\",", 0), 0u) << lines[5];
}

}  // namespace
}  // namespace nuvak
