#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

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
    void blank() { while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i; }
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
    const struct { double angle, dx, dy, ra, dec; } rows[] = {
        {0, 1, 0, 1, 0},     {0, 0, 1, 0, 1},
        {90, 1, 0, 0, -1},   {90, 0, 1, 1, 0},  {-270, 0, 1, 1, 0},
        {30, 1, 0, std::sqrt(3) / 2, -0.5},     {30, 0, 1, 0.5, std::sqrt(3) / 2},
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
        const std::vector<std::string> flags = k == 12               ? std::vector<std::string>{"time_backwards"}
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
    const struct { const char* name; std::vector<double> t; std::vector<bool> found; bool drift, pe; } rows[] = {
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
                             "\"time_source\": \"DATE-OBS\"", "\"t_s\": [0, 20, 40,", "\"arcsec_per_pixel\": 2",
                             "\"scale_source\": \"options\"", "\"meridian_flips\": []",
                             "\"ra_arcsec\": [0, 0.5, null,", "\"used\": [true, true, false,",
                             "\"flags\": [[], [], [\"lost\"], []", "\"declination_deg\": 0",
                             "\"polar_alignment_error_arcmin\": {\"value\": ", "\"worm_period_s\": null",
                             "\"harmonic\": null", "\"fwhm_px\": {\"value\": 3}", "\"fwhm_arcsec\": {\"value\": 6}",
                             "\"hfd_px\": {\"value\": 3.5}", "\"centroid_sigma_px\": [0.05,", "\"noise_limited\": ",
                             "\"rms_total\": {\"value\": ", "\"notes\": {"})
        EXPECT_NE(json.find(part), std::string::npos) << part;
}

// The plots' legends name only the marks drawn; the periodogram's labels lie above its curve.
TEST(ReportHtml, LegendsNameOnlyWhatIsDrawnAndLabelsClearTheCurve) {
    for (bool flagged : {false, true}) {
        SCOPED_TRACE(flagged ? "a lost and a saturated frame" : "every frame clean");
        Series s;
        for (int k = 0; k < 40; ++k) s.add(20 * k, 100 + 0.25 * k + 1.5 * std::sin(2 * kPi * k / 6), 50 + 0.05 * std::cos(k));
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
    for (int k = 0; k < 40; ++k) s.add(20 * k, 100 + 0.25 * k + 1.5 * std::sin(k / 3.0), 50 - 0.1 * k + 0.1 * std::sin(k));
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

}  // namespace
}  // namespace nuvak
