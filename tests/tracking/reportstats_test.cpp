#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/json.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tests/support/locale.h"
#include "tracking/graph.h"
#include "tracking/report.h"
#include "tracking/results.h"
#include "tracking/synthetic.h"

namespace nuvak {
namespace {

constexpr double kPi = 3.14159265358979323846;

ReportFrame WithCards(const std::vector<std::string>& cards) {
    ReportFrame f;
    for (const std::string& c : cards) f.headerCards += c;
    return f;
}

// Found frames at the given positions, width 3 px, centroid sigma 0.05 px, times in seconds.
struct Series {
    std::vector<ReportFrame> frames;
    TimeAxis times{"DATE-OBS", {}};
    void add(double t, double x, double y) {
        ReportFrame f;
        f.path = "f" + std::to_string(frames.size()) + ".fits";
        f.found = true, f.x = x, f.y = y, f.fwhmPx = 3, f.hfdPx = 3.5, f.centroidSigmaPx = 0.05;
        frames.push_back(f);
        times.t.push_back(t);
    }
    TrackingReport report(double angle = 0) const {
        ReportOptions o;
        o.arcsecPerPixel = 2;
        o.decDeg = 0;
        o.cameraAngleDeg = angle;
        return ComputeReport(frames, times, o);
    }
};

// Checks that text is one JSON value and nothing else.
struct JsonChecker {
    std::string_view s;
    std::size_t i = 0;
    void blank() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool literal(std::string_view w) { return s.substr(i, w.size()) == w ? (i += w.size(), true) : false; }
    bool value() {
        blank();
        if (i >= s.size()) return false;
        if (s[i] == '{' || s[i] == '[') {
            const char close = s[i++] == '{' ? '}' : ']';
            blank();
            if (i < s.size() && s[i] == close) return ++i, true;
            for (;;) {
                if (close == '}' && !(blank(), string() && (blank(), literal(":")))) return false;
                if (!value()) return false;
                blank();
                if (literal(",")) continue;
                return literal(std::string(1, close));
            }
        }
        if (s[i] == '"') return string();
        if (literal("true") || literal("false") || literal("null")) return true;
        const std::size_t start = i;
        while (i < s.size() && std::string_view("+-.eE0123456789").find(s[i]) != std::string_view::npos) ++i;
        return i > start;
    }
    bool string() {
        if (!literal("\"")) return false;
        for (; i < s.size() && s[i] != '"'; ++i) {
            if (static_cast<unsigned char>(s[i]) < 0x20) return false;
            if (s[i] == '\\') ++i;
        }
        return literal("\"");
    }
    bool whole() { return value() && (blank(), i == s.size()); }
};

TEST(ReportStats, TurnToSkyTurnsImageAxesOntoRaAndDec) {
    const struct {
        double angle, dx, dy, ra, dec;
    } rows[] = {
        {0, 1, 0, 1, 0},
        {0, 0, 1, 0, 1},
        {90, 1, 0, 0, -1},
        {90, 0, 1, 1, 0},
        {-270, 0, 1, 1, 0},
        {30, 1, 0, std::sqrt(3) / 2, -0.5},
        {30, 0, 1, 0.5, std::sqrt(3) / 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.angle) + " deg, (" + std::to_string(r.dx) + ", " + std::to_string(r.dy) + ")");
        const auto [ra, dec] = TurnToSky(r.dx, r.dy, r.angle);
        EXPECT_NEAR(ra, r.ra, 1e-15);
        EXPECT_NEAR(dec, r.dec, 1e-15);
    }
    // The report's axes: a star moving +1 px in image y reads as +RA at 90 degrees.
    Series s;
    for (int k = 0; k < 3; ++k) s.add(15 * k, 100, 100 + k);
    EXPECT_EQ(s.report(90).ra, (std::vector<double>{0, 2, 4}));
}

// Drift, periodic error of random phase and white noise on uneven times with a gap, spans of
// 3 to 10 periods: the drift intervals cover the generating drift, and the periodic error's
// period and amplitude come back within the self-test's tolerances.
TEST(ReportStats, DriftIntervalsCoverTheTruthAndThePeriodicErrorIsFound) {
    const double period = 480, amplitude = 3.5, sigma = 0.3, driftRa = 0.8, driftDec = -0.5;  // ", "/min
    const int draws = 40;
    int coveredRa = 0, coveredDec = 0;
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::normal_distribution<double> noise(0, sigma);
    for (int draw = 0; draw < draws; ++draw) {
        const double span = period * (3 + 7 * uniform(rng)), phase = 2 * kPi * uniform(rng);
        const double gapFrom = span * (0.3 + 0.3 * uniform(rng)), gapTo = gapFrom + span * 0.1;
        Series s;
        for (double t = 0; t < span; t += 10 + 10 * uniform(rng)) {
            if (t > gapFrom && t < gapTo) continue;
            // Pixels of 2": half the arc-seconds.
            s.add(t, (driftRa * t / 60 + amplitude * std::sin(2 * kPi * t / period + phase) + noise(rng)) / 2,
                  (driftDec * t / 60 + noise(rng)) / 2);
        }
        ReportOptions o;
        o.arcsecPerPixel = 2, o.decDeg = 0, o.wormPeriodS = 2 * period;
        const TrackingReport r = ComputeReport(s.frames, s.times, o);
        SCOPED_TRACE("draw " + std::to_string(draw));
        coveredRa += r.driftRa.ci95->first <= driftRa && driftRa <= r.driftRa.ci95->second;
        coveredDec += r.driftDec.ci95->first <= driftDec && driftDec <= r.driftDec.ci95->second;
        EXPECT_NEAR(r.pe.periodS.value, period, 0.02 * period);
        EXPECT_NEAR(r.pe.amplitudePpArcsec.value, 2 * amplitude, 0.2 * amplitude);
        EXPECT_LT(r.pe.fap.value, 1e-6);
        EXPECT_EQ(r.pe.harmonic, 2);
        EXPECT_NEAR(r.rmsRa.value, std::hypot(amplitude / std::sqrt(2), sigma), 0.1 * r.rmsRa.value);
        EXPECT_FALSE(r.noiseLimited);
    }
    RecordProperty("coverage_ra", coveredRa);
    RecordProperty("coverage_dec", coveredDec);
    EXPECT_GE(coveredRa * 6, draws * 5);
    EXPECT_GE(coveredDec * 6, draws * 5);
}

// A steady drift of 0.5 px a frame with a small wobble; each row changes some frames and
// names the frames that must come out lost.
TEST(ReportStats, FramesThatJumpOrAreNotFoundAreLost) {
    const struct {
        const char* name;
        std::vector<std::pair<int, double>> moved;  // frame, x offset
        int notFound, gapAt;
        std::set<int> lost;
    } rows[] = {
        {"steady", {}, -1, -1, {}},
        {"a 20 px jump", {{10, 20}}, -1, -1, {10}},
        {"two frames off together", {{10, -20}, {11, -20}}, -1, -1, {10, 11}},
        {"3 px is no jump", {{10, 3}}, -1, -1, {}},
        {"not found", {}, 5, -1, {5}},
        {"a ten-minute gap, drift going on", {}, -1, 15, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Series s;
        for (int k = 0; k < 30; ++k) {
            const double t = 15 * k + (row.gapAt >= 0 && k >= row.gapAt ? 600 : 0);
            s.add(t, 50 + t / 30 + 0.2 * std::sin(1.7 * k), 60 + 0.2 * std::cos(2.3 * k));
        }
        for (const auto& [k, dx] : row.moved) s.frames[k].x += dx;
        if (row.notFound >= 0) s.frames[row.notFound].found = false;
        s.frames[3].saturated = true, s.frames[3].fwhmPx = 9;
        const TrackingReport r = s.report();
        for (int k = 0; k < 30; ++k) {
            const bool lost = row.lost.count(k);
            EXPECT_EQ(r.used[k], !lost) << k;
            EXPECT_EQ(std::isnan(r.ra[k]), lost) << k;
        }
        EXPECT_EQ(r.flags[3], std::vector<std::string>{"saturated"});  // kept, but not its width
        EXPECT_EQ(r.fwhmPx.value, 3);
        EXPECT_NEAR(r.driftRa.value, 2 * 2, 0.1);  // 1/30 px/s = 2 px/min at 2"/px
    }
}

// A night with a meridian flip and a flip back, the star re-centred each time, the image axes
// turned by 180 degrees between them; one frame's clock stepped back. The drift comes back
// on both sides, the flips and the clock are flagged, and the track lies on one line.
TEST(ReportStats, MeridianFlipsSplitTheNightAndTimesGoingBackAreLeftOut) {
    const double driftRa = 0.8, driftDec = -0.5;  // "/min, pixels of 2"
    Series s;
    for (int k = 0; k < 45; ++k) {
        const double t = 30 * k, ra = driftRa * t / 60 / 2 + 0.05 * std::sin(1.7 * k),
                     dec = driftDec * t / 60 / 2 + 0.05 * std::cos(2.3 * k);
        const bool turned = k >= 20 && k < 35;
        const double cx = k < 20 ? 100 : k < 35 ? 300 : 150, cy = k < 20 ? 50 : k < 35 ? 80 : 60;
        s.add(t, turned ? cx - ra : cx + ra, turned ? cy - dec : cy + dec);
        // Frames without PIERSIDE keep the side; the frame after a flip names the new one.
        if (k % 4 == 0 || k == 20 || k == 35)
            s.frames.back().headerCards = test::FitsCard("PIERSIDE", turned ? "'EAST'" : "'WEST  '");
    }
    s.times.t[12] = s.times.t[10];
    const TrackingReport r = s.report();
    EXPECT_EQ(r.meridianFlips, (std::vector<std::size_t>{20, 35}));
    EXPECT_NEAR(r.driftRa.value, driftRa, 0.02);
    EXPECT_NEAR(r.driftDec.value, driftDec, 0.02);
    for (int k = 0; k < 45; ++k) {
        SCOPED_TRACE(k);
        const std::vector<std::string> flags = k == 12              ? std::vector<std::string>{"time_backwards"}
                                               : k == 20 || k == 35 ? std::vector<std::string>{"meridian_flip"}
                                                                    : std::vector<std::string>{};
        EXPECT_EQ(r.flags[k], flags);
        EXPECT_EQ(r.used[k], k != 12);
        EXPECT_TRUE(r.lostReasons[k].reason.empty());
        if (k != 12) {
            EXPECT_NEAR(r.ra[k], r.interceptRa + r.driftRa.value * r.t[k] / 60, 0.25);
            EXPECT_NEAR(r.dec[k], r.interceptDec + r.driftDec.value * r.t[k] / 60, 0.25);
        }
    }
    EXPECT_LT(r.rmsTotal.value, 0.2);
    const std::string json = ReportJson(r);
    EXPECT_NE(json.find("\"meridian_flips\": [20, 35]"), std::string::npos);
    EXPECT_NE(ReportHtml(r).find("子午線反転が 2 回あります（フレーム 21、36 から）"), std::string::npos);
}

TEST(ReportStats, TooFewFramesGiveNullFiguresWithoutFailing) {
    const struct {
        const char* name;
        std::vector<double> t;
        std::vector<bool> found;
        bool drift, pe;
    } rows[] = {
        {"no frames", {}, {}, false, false},
        {"all lost", {0, 15, 30, 45}, {false, false, false, false}, false, false},
        {"two used", {0, 15, 30, 45}, {true, false, true, false}, false, false},
        {"zero span", {0, 0, 0, 0, 0}, {true, true, true, true, true}, false, false},
        {"span too short for a period", {0, 15, 30, 40, 55}, {true, true, true, true, true}, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Series s;
        for (std::size_t k = 0; k < row.t.size(); ++k) {
            s.add(row.t[k], 10 + 0.1 * k + 0.03 * (k % 2), 20);
            s.frames[k].found = row.found[k];
        }
        const TrackingReport r = s.report();
        EXPECT_EQ(std::isfinite(r.driftRa.value), row.drift);
        EXPECT_EQ(std::isfinite(r.pe.periodS.value), row.pe);
        EXPECT_TRUE(r.pe.frequency.empty() || row.pe);
        const std::string json = ReportJson(r);
        EXPECT_TRUE(JsonChecker{json}.whole()) << json;
        if (!row.drift) {
            EXPECT_NE(json.find("\"drift_ra\": {\"value\": null, \"ci95\": [null, null]}"), std::string::npos);
        }
    }
}

TEST(ReportJson, WritesTheFieldsAsValidJsonAndEscapesPaths) {
    Series s;
    for (int k = 0; k < 12; ++k) s.add(20 * k, 100 + 0.25 * k, 50 - 0.1 * k + 0.1 * std::sin(k));
    s.frames[0].path = "C:\\night \"7\"\\f\x01.fits";
    s.frames[1].path = "星/f.fits";
    s.frames[2].found = false;
    TrackingReport r = s.report();
    const std::string json = ReportJson(r);
    EXPECT_TRUE(JsonChecker{json}.whole()) << json;
    for (const char* part : {"\"frames\": [\"C:\\\\night \\\"7\\\"\\\\f\\u0001.fits\", \"星/f.fits\"",
                             "\"time_source\": \"DATE-OBS\"",
                             "\"t_s\": [0, 20, 40,",
                             "\"arcsec_per_pixel\": 2",
                             "\"scale_source\": \"options\"",
                             "\"meridian_flips\": []",
                             "\"ra_arcsec\": [0, 0.5, null,",
                             "\"used\": [true, true, false,",
                             "\"flags\": [[], [], [\"lost\"], []",
                             "\"declination_deg\": 0",
                             "\"polar_alignment_error_arcmin\": {\"value\": ",
                             "\"worm_period_s\": null",
                             "\"harmonic\": null",
                             "\"fwhm_px\": {\"value\": 3}",
                             "\"fwhm_arcsec\": {\"value\": 6}",
                             "\"hfd_px\": {\"value\": 3.5}",
                             "\"centroid_sigma_px\": [0.05,",
                             "\"noise_limited\": ",
                             "\"rms_total\": {\"value\": ",
                             "\"notes\": {"})
        EXPECT_NE(json.find(part), std::string::npos) << part;
}

// The plots' legends name only the marks drawn; the periodogram's labels lie above its curve.
TEST(ReportHtml, LegendsNameOnlyWhatIsDrawnAndLabelsClearTheCurve) {
    for (bool flagged : {false, true}) {
        SCOPED_TRACE(flagged ? "a lost and a saturated frame" : "every frame clean");
        Series s;
        for (int k = 0; k < 40; ++k)
            s.add(20 * k, 100 + 0.25 * k + 1.5 * std::sin(2 * kPi * k / 6), 50 + 0.05 * std::cos(k));
        if (flagged) s.frames[5].found = false, s.frames[7].saturated = true;
        ReportOptions o;
        o.arcsecPerPixel = 2, o.wormPeriodS = 120;
        const std::string page = ReportHtml(ComputeReport(s.frames, s.times, o));
        for (const char* legend : {"飽和したフレーム</text>", "星を見失ったフレーム（×", "縦線：星を見失ったフレーム"})
            EXPECT_EQ(page.find(legend) != std::string::npos, flagged) << legend;
        EXPECT_NE(page.find("当てはめた正弦波"), std::string::npos);
        EXPECT_NE(page.find("<p>「測定誤差の範囲内」は"), std::string::npos);

        // The label's baseline (plus its descent) above the curve's highest point.
        const std::size_t at = page.find("<path class=\"power\"");
        ASSERT_NE(at, std::string::npos);
        const std::string d = page.substr(at, page.find("/>", at) - at);
        double top = 1e9;
        for (std::size_t k = d.find_first_of("ML"); k != std::string::npos; k = d.find_first_of("ML", k + 1))
            top = std::min(top, std::stod(d.substr(d.find(' ', k) + 1)));
        const std::size_t label = page.find("class=\"peak-label\"");
        ASSERT_NE(label, std::string::npos);
        for (std::size_t k = label; (k = page.find("-label\"", k + 1)) != std::string::npos;) {
            const std::size_t y = page.find("y=\"", k) + 3;
            EXPECT_LT(std::stod(page.substr(y)) + 4, top);
        }
    }
}

// The window program runs under the session's locale; where that writes a decimal comma,
// every page, file and label of the tracking must still be what the C locale gives.
TEST(ReportHtml, NumbersIgnoreADecimalCommaLocale) {
    Series s;
    for (int k = 0; k < 40; ++k)
        s.add(20 * k, 100 + 0.25 * k + 1.5 * std::sin(k / 3.0), 50 - 0.1 * k + 0.1 * std::sin(k));
    s.frames[5].found = false;
    s.frames[7].saturated = true;
    ReportOptions o;
    o.arcsecPerPixel = 1.9569, o.decDeg = 45.5, o.wormPeriodS = 120;
    const TrackingReport r = ComputeReport(s.frames, s.times, o);
    TrackingState st;
    st.FrameCount = 2;
    st.CentroidX[0] = 10.5, st.CentroidY[0] = 20.25, st.CentroidX[1] = 12.75, st.CentroidY[1] = 1.0 / 3;
    TrackingParameters p;
    p.multiplier = "1.000";
    test::TempDir dir;
    int run = 0;
    const auto written = [&] {
        SyntheticOptions frames;
        frames.width = frames.height = 24, frames.frames = 2, frames.exposureS = 2.5;
        frames.saturatedFrame = frames.lostFrame = -1;
        const std::string folder = dir.file(std::to_string(run++));
        std::filesystem::create_directory(folder);
        const std::vector<SyntheticFrame> truth = WriteSyntheticSequence(folder, frames);
        const test::Bytes fits = test::ReadBytes(truth[0].path);
        std::string all;
        for (const std::string& label : RefreshStatistics(st, p)) all += label;
        all += ReportHtml(r) + ReportJson(r) + ResultsFileText(st, {"a.fts", "b.fts"}, "/obs/a.fts") +
               GraphZoomText(0.5) + std::string(fits.begin(), fits.end());
        for (const GraphItem& item : BuildGraph(st, p, GraphOptions{}).items) all += item.text;
        return all;
    };
    const std::string plain = written();
    for (const char* part : {"x=\"64.0\"", "EXPTIME =                2.500", "1.9569″", "RMS  = "})
        ASSERT_NE(plain.find(part), std::string::npos) << part;
    test::DecimalCommaLocale comma;
    ASSERT_TRUE(comma.active()) << comma.why();
    EXPECT_EQ(written(), plain);
}

// The page's JSON opens and closes every bracket and quote it opens.
bool Balanced(const std::string& json) {
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (--depth < 0) return false;
        }
    }
    return depth == 0 && !quoted;
}

// The UTC of the axis's t = 0 (the first frame's mid-exposure) and the frames' exposure time.
TEST(ReportFrameTime, EpochAndExposure) {
    const auto date = [](const char* v) { return test::FitsCard("DATE-OBS", std::string("'") + v + "'"); };
    const struct {
        const char* what;
        std::vector<std::vector<std::string>> frames;
        const char* epoch;  // "" for none
        std::optional<double> exposure;
    } rows[] = {
        {"DATE-OBS and half of EXPTIME",
         {{date("2026-12-08T21:00:00"), test::FitsCard("EXPTIME", "10")},
          {date("2026-12-08T21:00:20"), test::FitsCard("EXPTIME", "10")}},
         "2026-12-08T21:00:05.000",
         10},
        {"MJD-OBS, the median of EXPTIME and EXPOSURE",
         {{test::FitsCard("MJD-OBS", "61017.5"), test::FitsCard("EXPTIME", "10")},
          {test::FitsCard("MJD-OBS", "61017.6"), test::FitsCard("EXPOSURE", "30")},
          {test::FitsCard("MJD-OBS", "61017.7"), test::FitsCard("EXPTIME", "20"), test::FitsCard("EXPOSURE", "99")}},
         "2025-12-08T12:00:05.000",
         20},
        {"JD, an unread frame first",
         {{}, {test::FitsCard("JD", "2461017.5"), test::FitsCard("EXPOSURE", "4")}},
         "2025-12-08T00:00:02.000",
         4},
        {"the interval axis has no date", {{test::FitsCard("EXPTIME", "4")}, {}}, "", 4},
        {"no exposure time",
         {{date("1969-12-31T23:59:59.5")}, {date("1970-01-01T00:00:10")}},
         "1969-12-31T23:59:59.500",
         std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<ReportFrame> frames;
        for (const auto& cards : r.frames) frames.push_back(WithCards(cards));
        const TimeAxis axis = FrameTimes(frames, 15);
        EXPECT_EQ(axis.epochUtcS ? FormatIsoDateTime(*axis.epochUtcS) : "", r.epoch);
        if (axis.epochUtcS) {
            EXPECT_EQ(ParseIsoDateTime(r.epoch), *axis.epochUtcS);
        }
        EXPECT_EQ(FramesExposure(frames), r.exposure);
    }
}

// A sinusoid in RA seen through exposures of the header's length: the report undoes the
// smear, takes it to the axis, or says why not.
TEST(ReportPeriodicError, PeriodicErrorIsUndoneFromTheExposureSmear) {
    const double period = 480, pp = 4;
    const struct {
        const char* name;
        std::string card;  // the exposure's card in every frame
        std::optional<double> dec;
        double exposure;  // NaN: no corrected figure
        const char* warning;
    } rows[] = {
        {"no exposure time", "", 60, NAN, "exposure_unknown"},
        {"EXPTIME 0.4 P", test::FitsCard("EXPTIME", "192"), 60, 192, nullptr},
        {"EXPOSURE 0.2 P", test::FitsCard("EXPOSURE", "96"), 60, 96, nullptr},
        {"no declination: no axis figure", test::FitsCard("EXPTIME", "0"), std::nullopt, 0, nullptr},
        {"EXPTIME 0.7 P", test::FitsCard("EXPTIME", "336"), 60, NAN, "exposure_smear"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Series s;
        for (int k = 0; k < 200; ++k) {
            const double t = 20 * k;
            s.add(t, 100 + pp / 4 * std::sin(2 * kPi * t / period + 0.3), 50);
            s.frames.back().headerCards = row.card;
        }
        ReportOptions o;
        o.arcsecPerPixel = 2, o.decDeg = row.dec;
        const TrackingReport r = ComputeReport(s.frames, s.times, o);
        const double observed = r.pe.amplitudePpArcsec.value;
        EXPECT_NEAR(observed, pp, 1e-3);
        if (std::isnan(row.exposure)) {
            EXPECT_TRUE(std::isnan(r.amplitudePpCorrectedArcsec.value));
        } else {
            const double x = kPi * row.exposure / r.pe.periodS.value, factor = x > 0 ? std::sin(x) / x : 1;
            EXPECT_NEAR(r.amplitudePpCorrectedArcsec.value, observed / factor, 1e-9);
            EXPECT_EQ(std::isfinite(r.amplitudePpAxisArcsec.value), row.dec.has_value());
            if (row.dec) {
                EXPECT_NEAR(r.amplitudePpAxisArcsec.value, 2 * r.amplitudePpCorrectedArcsec.value, 1e-9);
            }
        }
        const bool warned = std::any_of(r.warnings.begin(), r.warnings.end(),
                                        [&](const ReportWarning& w) { return row.warning && w.code == row.warning; });
        EXPECT_EQ(warned, row.warning != nullptr);
        const std::string json = ReportJson(r);
        EXPECT_TRUE(Balanced(json));
        EXPECT_NE(json.find("\"amplitude_pp_observed_arcsec\": {\"value\": " + JsonNumber(observed) + "}"),
                  std::string::npos);
        EXPECT_NE(
            json.find("\"amplitude_pp_arcsec\": {\"value\": " + JsonNumber(r.amplitudePpCorrectedArcsec.value) + "}"),
            std::string::npos);
    }
}

// The worm's cycle folded: a table of worms, each a sum of harmonics A sin(2 pi k t / P + phase)
// with white noise, seen through the exposure; the fit gives back each harmonic undone from
// the smear, a band that holds the true curve, and the noise as what a perfect correction leaves.
TEST(ReportPeriodicError, TheWormFoldGivesBackItsHarmonics) {
    struct Harmonic {
        int order;
        double amplitude, phase;
    };
    const struct {
        const char* name;
        std::vector<Harmonic> worm;
        double period, cadence, exposure, noise;
        int frames;
        bool given;                     // --worm-period, else the detected period
        double refShiftS;               // phase 0 this long after the first frame (0: no reference given)
        std::vector<std::string> left;  // per order, why it is not fitted
    } rows[] = {
        {"two harmonics, the worm period given",
         {{1, 3, 0.4}, {2, 1.5, -1.1}},
         480,
         17,
         0,
         0.1,
         200,
         true,
         0,
         {"", "", "", ""}},
        {"the detected period, phase 0 given 120 s later",
         {{1, 3, 0.4}, {2, 1.5, -1.1}},
         480,
         17,
         0,
         0.1,
         200,
         false,
         120,
         {"", "", "", ""}},
        {"long exposures: the third and fourth harmonics are lost in the smear",
         {{1, 3, 0.4}, {2, 1.5, -1.1}},
         480,
         110,
         100,
         0.1,
         150,
         true,
         0,
         {"", "", "exposure_smear", "exposure_smear"}},
        {"eight frames a period, phases repeating: no fourth harmonic",
         {{1, 2, 1.0}, {3, 0.5, 0}},
         120,
         15,
         0,
         0.05,
         24,
         true,
         0,
         {"", "", "", "phase_coverage"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const double smear = row.exposure / row.period;
        const auto truth = [&](double phase, bool seen) {
            double v = 0;
            for (const Harmonic& h : row.worm) {
                const double x = kPi * smear * h.order, f = seen && x > 0 ? std::sin(x) / x : 1;
                v += f * h.amplitude * std::sin(2 * kPi * h.order * phase + h.phase);
            }
            return v;
        };
        std::mt19937_64 rng(3);
        std::normal_distribution<double> noise(0, row.noise);
        Series s;
        s.times.epochUtcS = 1.8e9;
        for (int k = 0; k < row.frames; ++k) {
            const double t = row.cadence * k;
            s.add(t, 100 + (truth(t / row.period, true) + noise(rng)) / 2, 50 + noise(rng) / 2);
            s.frames.back().headerCards = test::FitsCard("EXPTIME", std::to_string(row.exposure));
        }
        ReportOptions o;
        o.arcsecPerPixel = 2;
        if (row.given) o.wormPeriodS = row.period;
        if (row.refShiftS != 0) o.phaseRefUtcS = 1.8e9 + row.refShiftS;
        const TrackingReport r = ComputeReport(s.frames, s.times, o);
        const WormFold& w = r.worm;
        EXPECT_EQ(w.periodSource, row.given ? "worm_period" : "detected");
        EXPECT_NEAR(w.periodS, row.period, 0.01 * row.period);
        EXPECT_EQ(w.phaseRef, row.refShiftS != 0 ? "given" : "first_frame");
        EXPECT_EQ(*w.phaseRefUtcS, 1.8e9 + row.refShiftS);
        ASSERT_EQ(w.harmonics.size(), 4u);
        // On the fold's phase: the worm's own shifted by the reference.
        const auto curve = [&](double phase) { return truth(phase + row.refShiftS / row.period, false); };
        for (int k = 1; k <= 4; ++k) {
            const WormHarmonic& h = w.harmonics[k - 1];
            EXPECT_EQ(h.left, row.left[k - 1]) << k;
            if (!h.left.empty()) continue;
            double amplitude = 0, phase = 0;
            for (const Harmonic& g : row.worm)
                if (g.order == k) amplitude = g.amplitude, phase = g.phase + 2 * kPi * k * row.refShiftS / w.periodS;
            EXPECT_NEAR(h.amplitudeArcsec.value, amplitude, 0.05 * amplitude + 4 * row.noise / std::sqrt(row.frames))
                << k;
            EXPECT_LE(h.amplitudeArcsec.ci95->first, h.amplitudeArcsec.value) << k;
            EXPECT_GE(h.amplitudeArcsec.ci95->second, h.amplitudeArcsec.value) << k;
            if (amplitude > 0) {
                EXPECT_NEAR(std::remainder(h.phaseRad - phase, 2 * kPi), 0, 0.1) << k;
            }
        }
        ASSERT_EQ(w.curve.size(), std::size_t(WormFold::kCurvePoints));
        int inside = 0;
        for (const WormFold::Point& p : w.curve) {
            EXPECT_NEAR(p.arcsec, WormCurveAt(w, p.phase), 1e-9);
            inside += p.lo <= curve(p.phase) && curve(p.phase) <= p.hi;
        }
        // A detected period a little off moves the curve from cycle to cycle: the band holds
        // the truth only on the worm's own period.
        if (row.given) {
            EXPECT_GE(inside, 85) << "of 100 phases in the band";
        }
        EXPECT_NEAR(w.residualRmsAfterPecArcsec, row.noise, 0.3 * row.noise);
        for (std::size_t i = 0; i < s.frames.size(); ++i) {
            const double phase = (r.t[i] - row.refShiftS) / w.periodS;
            EXPECT_NEAR(w.phase[i], phase - std::floor(phase), 1e-9) << i;
        }
        EXPECT_EQ(w.cycle.front(), 0);
        const std::string json = ReportJson(r);
        EXPECT_TRUE(Balanced(json));
        for (const char* key : {"\"curve\": [{\"phase\": 0, \"arcsec\": ", "\"harmonics\": [{\"order\": 1, ",
                                "\"residual_rms_after_pec_arcsec\": ", "\"fold_period_s\": ", "\"warnings\": ["})
            EXPECT_NE(json.find(key), std::string::npos) << key;
        EXPECT_NE(ReportHtml(r).find("<path class=\"fold-band\""), std::string::npos);
    }

    // Noise alone and no worm period: nothing folded, and the report says so.
    Series s;
    std::mt19937_64 rng(4);
    std::normal_distribution<double> noise(0, 0.1);
    for (int k = 0; k < 100; ++k) s.add(20 * k, 100 + noise(rng), 50 + noise(rng));
    const TrackingReport r = s.report();
    EXPECT_TRUE(std::isnan(r.worm.periodS));
    EXPECT_TRUE(r.worm.curve.empty());
    EXPECT_TRUE(std::any_of(r.warnings.begin(), r.warnings.end(),
                            [](const ReportWarning& w) { return w.code == "no_worm_period"; }));
    EXPECT_THROW(PecTableCsv(r, 100), Refusal);
}

// The correction table: the negative of the fold's curve at the axis, rates that carry each
// bin's correction to the next, and a header with the sign and phase 0.
TEST(PecTable, IsTheNegativeCurveAtTheAxis) {
    Series s;
    s.times.epochUtcS = 1.8e9;
    for (int k = 0; k < 150; ++k) {
        const double t = 17 * k;
        s.add(t, 100 + 1.5 * std::sin(2 * kPi * t / 480 + 0.4) + 0.5 * std::sin(4 * kPi * t / 480), 50);
    }
    ReportOptions o;
    o.arcsecPerPixel = 2, o.wormPeriodS = 480, o.decDeg = 60;
    TrackingReport r = ComputeReport(s.frames, s.times, o);
    const std::string csv = PecTableCsv(r, 8);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = csv.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u + 1 + 8);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(lines[k][0], '#');
    EXPECT_NE(csv.find("correction_arcsec = -(measured periodic error)"), std::string::npos);
    EXPECT_NE(csv.find("phase 0 at " + FormatIsoDateTime(1.8e9) + " UTC, the first frame's mid-exposure"),
              std::string::npos);
    EXPECT_EQ(lines[4], "phase,correction_arcsec,rate_arcsec_per_s");
    double carried = -WormCurveAt(r.worm, 0) / 0.5;
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        double phase = 0, correction = 0, rate = 0;
        ASSERT_EQ(std::sscanf(lines[5 + k].c_str(), "%lf,%lf,%lf", &phase, &correction, &rate), 3);
        EXPECT_DOUBLE_EQ(phase, k / 8.0);
        EXPECT_NEAR(correction, -WormCurveAt(r.worm, k / 8.0) / 0.5, 1e-5 * 6);
        EXPECT_NEAR(correction, carried, 1e-4);
        carried += rate * 60;  // a bin is 480 / 8 s
    }
    EXPECT_NEAR(carried, -WormCurveAt(r.worm, 0) / 0.5, 1e-3);  // round the cycle

    r.decDeg.reset();
    EXPECT_THROW(PecTableCsv(r, 8), Refusal);
}

}  // namespace
}  // namespace nuvak
