#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/json.h"
#include "tests/support/fits_files.h"
#include "tracking/report.h"

namespace nuvak {
namespace {

constexpr double kPi = 3.14159265358979323846;

ReportFrame WithCards(const std::vector<std::string>& cards) {
    ReportFrame f;
    for (const std::string& c : cards) f.headerCards += c;
    return f;
}

// Found frames at the given positions, centroid sigma 0.05 px, times in seconds.
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
    TrackingReport report() const {
        ReportOptions o;
        o.arcsecPerPixel = 2;
        o.decDeg = 0;
        return ComputeReport(frames, times, o);
    }
};

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
        EXPECT_NE(json.find("\"amplitude_pp_corrected_arcsec\": {\"value\": " +
                            JsonNumber(r.amplitudePpCorrectedArcsec.value) + "}"),
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
        if (row.refShiftS) o.phaseRefUtcS = 1.8e9 + row.refShiftS;
        const TrackingReport r = ComputeReport(s.frames, s.times, o);
        const WormFold& w = r.worm;
        EXPECT_EQ(w.periodSource, row.given ? "worm_period" : "detected");
        EXPECT_NEAR(w.periodS, row.period, 0.01 * row.period);
        EXPECT_EQ(w.phaseRef, row.refShiftS ? "given" : "first_frame");
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
