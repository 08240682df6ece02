#include "cli/selftest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "core/fileio.h"
#include "core/format.h"
#include "tracking/report.h"
#include "tracking/stars.h"
#include "tracking/synthetic.h"

namespace nuvak::cli {

namespace {

// The track options the sequences are measured with, as `nuvak-cli track --report` takes
// them: 1000 mm and 7.4 um give the frames' scale; the rest are the command's defaults.
TrackingParameters trackParameters() {
    TrackingParameters p;
    p.focalLength = "1000";
    p.pixelSize = "7.4";
    p.interval = "20";
    p.multiplier = "1.000";
    return p;
}

// A folder under the system's temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0;; ++attempt) {
            path_ = base / ("nuvak-selftest-" + std::to_string(seed()));
            if (std::filesystem::create_directory(path_)) break;
            if (attempt > 100) throw std::runtime_error("cannot make a temporary folder in " + Utf8Of(base));
        }
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string make(const std::string& name) const {
        const auto p = path_ / name;
        std::filesystem::create_directory(p);
        return Utf8Of(p);
    }

private:
    std::filesystem::path path_;
};

struct Run {
    std::vector<SyntheticFrame> truth;
    TrackingReport report;
};

// Writes a sequence and measures it the way `nuvak-cli track --report` does.
Run measure(const ScratchFolder& scratch, const std::string& name, const SyntheticOptions& o,
            std::optional<double> wormPeriodS = std::nullopt) {
    Run run;
    run.truth = WriteSyntheticSequence(scratch.make(name), o);
    std::vector<std::string> paths;
    for (const SyntheticFrame& f : run.truth) paths.push_back(f.path);
    const TrackingParameters p = trackParameters();
    ReportOptions options;
    options.arcsecPerPixel = LabelArcsecPerPixel(p);
    options.intervalS = ParseReal(p.interval);
    options.cameraAngleDeg = o.cameraAngleDeg;
    options.wormPeriodS = wormPeriodS;
    run.report = ComputeReport(MeasureReportFrames(paths, MeasureSettings{}), options);
    return run;
}

// The residual RMS of a true track after its own least-squares line, over the frames that
// are not lost: what the report's RMS recovers when the centroids are exact.
double trueRms(const std::vector<SyntheticFrame>& truth, double SyntheticFrame::*axis) {
    double n = 0, st = 0, sv = 0, stt = 0, stv = 0;
    for (const SyntheticFrame& f : truth) {
        if (f.lost) continue;
        n += 1, st += f.t, sv += f.*axis, stt += f.t * f.t, stv += f.t * f.*axis;
    }
    const double slope = (n * stv - st * sv) / (n * stt - st * st), intercept = (sv - slope * st) / n;
    double ss = 0;
    for (const SyntheticFrame& f : truth)
        if (!f.lost) ss += std::pow(f.*axis - slope * f.t - intercept, 2);
    return std::sqrt(ss / n);
}

// The rows of the printed table, and whether every one passed.
class Table {
public:
    Table() { print("sequence", "figure", "true", "recovered", "tolerance", "result"); }

    // A figure within an absolute tolerance of its truth.
    void near(const std::string& seq, const std::string& figure, double truth, double got, double tolerance) {
        const bool ok = std::isfinite(got) && std::abs(got - truth) <= tolerance;
        row(seq, figure, fmt(truth), fmt(got), "+-" + fmt(tolerance), ok);
    }
    // A figure within a share of its truth (or an absolute floor, whichever is larger).
    void relative(const std::string& seq, const std::string& figure, double truth, double got, double share,
                  double floor = 0) {
        near(seq, figure, truth, got, std::max(share * std::abs(truth), floor));
    }
    void holds(const std::string& seq, const std::string& figure, const std::string& truth, const std::string& got,
               bool ok) {
        row(seq, figure, truth, got, "", ok);
    }
    // A row that informs without passing or failing on its own.
    void note(const std::string& seq, const std::string& figure, const std::string& truth, const std::string& got,
              const std::string& result) {
        print(seq, figure, truth, got, "", result);
    }
    int misses() const { return misses_; }

    static std::string fmt(double v) { return FormatSignificant(v, 4); }

private:
    void row(const std::string& seq, const std::string& figure, const std::string& truth, const std::string& got,
             const std::string& tolerance, bool ok) {
        if (!ok) ++misses_;
        print(seq, figure, truth, got, tolerance, ok ? "ok" : "MISS");
    }
    static void print(const std::string& seq, const std::string& figure, const std::string& truth,
                      const std::string& got, const std::string& tolerance, const std::string& result) {
        std::printf("%-10s %-28s %12s %22s %12s  %s\n", seq.c_str(), figure.c_str(), truth.c_str(), got.c_str(),
                    tolerance.c_str(), result.c_str());
    }
    int misses_ = 0;
};

constexpr double kDriftShare = 0.05, kDriftFloor = 0.03;  // drift: 5 % or 0.03 "/min
constexpr double kRmsShare = 0.10;
constexpr double kPeriodShare = 0.02, kAmplitudeShare = 0.10;
constexpr double kWidthShare = 0.05;
constexpr double kPolarFactor = 3.8197;  // arc-minutes of polar error per "/min of Dec drift at the equator
constexpr int kDraws = 6, kCoverNeeded = 5;

bool covers(const Figure& f, double truth) { return f.ci95 && f.ci95->first <= truth && truth <= f.ci95->second; }

std::string interval(const Figure& f) {
    if (!f.ci95) return "none";
    std::string text = "[";
    text += Table::fmt(f.ci95->first);
    text += ',';
    text += Table::fmt(f.ci95->second);
    return text + ']';
}

void checkDrift(Table& table, const std::string& seq, const SyntheticOptions& o, const TrackingReport& r) {
    table.relative(seq, "drift_ra \"/min", o.driftRa, r.driftRa.value, kDriftShare, kDriftFloor);
    table.relative(seq, "drift_dec \"/min", o.driftDec, r.driftDec.value, kDriftShare, kDriftFloor);
}

// The full sequence: every figure and flag against its truth.
void checkMain(Table& table, const ScratchFolder& scratch) {
    SyntheticOptions o;
    o.cameraAngleDeg = 30;
    o.pePhase = 0.7;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    const Run run = measure(scratch, "main", o, o.pePeriodS);
    const TrackingReport& r = run.report;
    const std::string seq = "main";
    table.holds(seq, "time_source", "DATE-OBS", r.timeSource, r.timeSource == "DATE-OBS");
    checkDrift(table, seq, o, r);
    const double rmsRa = trueRms(run.truth, &SyntheticFrame::ra), rmsDec = trueRms(run.truth, &SyntheticFrame::dec);
    table.relative(seq, "rms_ra \"", rmsRa, r.rmsRa.value, kRmsShare);
    table.relative(seq, "rms_dec \"", rmsDec, r.rmsDec.value, kRmsShare);
    table.relative(seq, "rms_total \"", std::hypot(rmsRa, rmsDec), r.rmsTotal.value, kRmsShare);
    table.relative(seq, "pe period s", o.pePeriodS, r.pe.periodS.value, kPeriodShare);
    table.relative(seq, "pe amplitude pp \"", o.pePeakToPeak, r.pe.amplitudePpArcsec.value, kAmplitudeShare);
    table.holds(seq, "pe harmonic of worm", "1", r.pe.harmonic ? std::to_string(*r.pe.harmonic) : "none",
                r.pe.harmonic == 1);
    const double cosDec = std::cos(o.decDeg * std::numbers::pi / 180);
    const double polarTolerance = kPolarFactor * std::max(kDriftShare * std::abs(o.driftDec), kDriftFloor) / cosDec;
    table.near(seq, "polar alignment error '", kPolarFactor * std::abs(o.driftDec) / cosDec,
               r.polarAlignmentErrorArcmin ? r.polarAlignmentErrorArcmin->value : kNoValue, polarTolerance);
    table.relative(seq, "fwhm px", o.fwhmPx, r.fwhmPx.value, kWidthShare);
    table.relative(seq, "fwhm \"", o.fwhmPx * o.arcsecPerPixel, r.fwhmArcsec.value, kWidthShare);
    table.relative(seq, "hfd px (= fwhm)", o.fwhmPx, r.hfdPx.value, kWidthShare);
    table.holds(seq, "noise_limited", "false", r.noiseLimited ? "true" : "false", !r.noiseLimited);

    const auto has = [&](int k, const char* flag) {
        if (k < 0 || k >= int(r.flags.size())) return false;
        return std::find(r.flags[k].begin(), r.flags[k].end(), flag) != r.flags[k].end();
    };
    int flaggedAs = 0, usedCount = 0;
    for (std::size_t k = 0; k < r.flags.size(); ++k) flaggedAs += int(r.flags[k].size());
    for (bool u : r.used) usedCount += u;
    table.holds(seq, "saturated frame flagged", "frame " + std::to_string(o.saturatedFrame),
                has(o.saturatedFrame, "saturated") ? "flagged" : "not flagged", has(o.saturatedFrame, "saturated"));
    const bool lostUsed = o.lostFrame < int(r.used.size()) && r.used[o.lostFrame];
    table.holds(seq, "lost frame flagged, unused", "frame " + std::to_string(o.lostFrame),
                std::string(has(o.lostFrame, "lost") ? "flagged" : "not flagged") + (lostUsed ? ", used" : ", unused"),
                has(o.lostFrame, "lost") && !lostUsed);
    table.holds(seq, "frames flagged", "2", std::to_string(flaggedAs), flaggedAs == 2);
    table.holds(seq, "frames used", std::to_string(o.frames - 1), std::to_string(usedCount), usedCount == o.frames - 1);
}

// Several noise draws with other periodic-error phases and camera angles: the drift
// intervals must cover the true drift in at least five of six.
void checkCoverage(Table& table, const ScratchFolder& scratch) {
    int coverRa = 0, coverDec = 0;
    for (int k = 0; k < kDraws; ++k) {
        SyntheticOptions o;
        o.seed = 1000 + k;
        o.pePhase = 2 * std::numbers::pi * k / kDraws;
        o.cameraAngleDeg = -75 + 30 * k;
        o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
        const std::string seq = "draw " + std::to_string(k + 1);
        const TrackingReport r = measure(scratch, seq, o).report;
        checkDrift(table, seq, o, r);
        const bool ra = covers(r.driftRa, o.driftRa), dec = covers(r.driftDec, o.driftDec);
        coverRa += ra, coverDec += dec;
        table.note(seq, "drift_ra ci95", Table::fmt(o.driftRa), interval(r.driftRa), ra ? "covers" : "misses");
        table.note(seq, "drift_dec ci95", Table::fmt(o.driftDec), interval(r.driftDec), dec ? "covers" : "misses");
    }
    const std::string need = ">=" + std::to_string(kCoverNeeded) + "/" + std::to_string(kDraws);
    table.holds("draws", "drift_ra ci95 coverage", need, std::to_string(coverRa) + "/" + std::to_string(kDraws),
                coverRa >= kCoverNeeded);
    table.holds("draws", "drift_dec ci95 coverage", need, std::to_string(coverDec) + "/" + std::to_string(kDraws),
                coverDec >= kCoverNeeded);
}

// A mount that tracks better than the frames show: no periodic error, no wander, a faint star.
void checkQuiet(Table& table, const ScratchFolder& scratch) {
    SyntheticOptions o;
    o.frames = 60;
    o.pePeakToPeak = 0;
    o.wanderArcsec = 0;
    o.saturatedFrame = o.lostFrame = -1;
    o.seed = 77;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    const TrackingReport r = measure(scratch, "quiet", o).report;
    checkDrift(table, "quiet", o, r);
    table.holds("quiet", "noise_limited", "true", r.noiseLimited ? "true" : "false", r.noiseLimited);
}

// Long exposures, 0.4 of the periodic error's period: each centroid averages the star's
// motion, and the amplitude seen is shrunk by sinc(0.4 pi) = 0.76; undone, it is the truth.
void checkSmear(Table& table, const ScratchFolder& scratch) {
    SyntheticOptions o;
    o.frames = 100;
    o.pePeriodS = 480;
    o.exposureS = 0.4 * o.pePeriodS;
    o.cadenceS = 200;
    o.gapAfter = -1;
    o.driftRa = 0.05, o.driftDec = 0.1;
    o.smear = true;
    o.saturatedFrame = o.lostFrame = -1;
    o.seed = 5;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    const TrackingReport r = measure(scratch, "smear", o).report;
    const std::string seq = "smear";
    table.relative(seq, "pe amplitude pp corrected \"", o.pePeakToPeak, r.amplitudePpCorrectedArcsec.value,
                   kAmplitudeShare);
    const double observed = r.pe.amplitudePpArcsec.value;
    const bool off = std::isfinite(observed) && std::abs(observed - o.pePeakToPeak) > kAmplitudeShare * o.pePeakToPeak;
    table.holds(seq, "pe amplitude pp observed \"", "off by >10 %", Table::fmt(observed), off);
}

// A worm of two harmonics folded on its period: each harmonic's amplitude comes back.
void checkWorm(Table& table, const ScratchFolder& scratch) {
    SyntheticOptions o;
    o.pePeakToPeak = 6, o.pePhase = 0.4;
    o.pe2PeakToPeak = 3, o.pe2Phase = -1.1;
    o.seed = 9;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    const TrackingReport r = measure(scratch, "worm", o, o.pePeriodS).report;
    const std::string seq = "worm";
    const auto amplitude = [&](int order) {
        return int(r.worm.harmonics.size()) >= order ? r.worm.harmonics[std::size_t(order - 1)].amplitudeArcsec.value
                                                     : kNoValue;
    };
    table.relative(seq, "harmonic 1 amplitude \"", o.pePeakToPeak / 2, amplitude(1), kAmplitudeShare);
    table.relative(seq, "harmonic 2 amplitude \"", o.pe2PeakToPeak / 2, amplitude(2), kAmplitudeShare);
    table.note(seq, "residual rms after pec \"", Table::fmt(o.wanderArcsec),
               Table::fmt(r.worm.residualRmsAfterPecArcsec), "");
}

// A dither, a cloud and a time that goes backwards, each flagged at its frame and nowhere else.
void checkConfounders(Table& table, const ScratchFolder& scratch) {
    SyntheticOptions o;
    o.frames = 60;
    o.ditherFrame = 30, o.cloudFrame = 15, o.backwardFrame = 45;
    o.saturatedFrame = o.lostFrame = -1;
    o.seed = 21;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    const TrackingReport r = measure(scratch, "confound", o).report;
    const std::string seq = "confound";
    const auto at = [&](const char* flag) {
        std::string frames;
        for (std::size_t k = 0; k < r.flags.size(); ++k)
            if (std::find(r.flags[k].begin(), r.flags[k].end(), flag) != r.flags[k].end()) {
                if (!frames.empty()) frames += ' ';
                frames += std::to_string(k);
            }
        return frames.empty() ? std::string("none") : frames;
    };
    for (const auto& [flag, frame] : {std::pair("jump", o.ditherFrame), std::pair("cloud", o.cloudFrame),
                                      std::pair("time_backwards", o.backwardFrame)}) {
        const std::string got = at(flag);
        table.holds(seq, std::string(flag) + " at frame", std::to_string(frame), got, got == std::to_string(frame));
    }
    checkDrift(table, seq, o, r);
}

// The polar axis 6' off in one component and 2' in the other, seen east of the meridian (where
// the declination drift measures the altitude) and about the meridian (the azimuth).
void checkPolar(Table& table, const ScratchFolder& scratch) {
    for (const bool east : {true, false}) {
        SyntheticOptions o;
        o.polar = true;
        o.driftDec = 0;
        o.polarAltArcmin = east ? 6 : 2;
        o.polarAzArcmin = east ? 2 : 6;
        // The star's RA for an hour angle of -5.5 h (or -0.4 h) at the first frame.
        const double lst = HourAngleHours(*ParseIsoDateTime(o.start), o.siteLonDeg, 0);
        o.raHours = std::fmod(lst + (east ? 5.5 : 0.4) + 48, 24.0);
        o.saturatedFrame = o.lostFrame = -1;
        o.seed = east ? 31 : 32;
        o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
        const std::string seq = east ? "polar east" : "polar mer.";
        const TrackingReport r = measure(scratch, east ? "polar-east" : "polar-meridian", o).report;
        const std::string want = east ? "altitude" : "azimuth";
        const std::string got = r.polarHourAngle ? r.polarHourAngle->component : "none";
        table.holds(seq, "polar component", want, got, got == want);
        table.relative(seq, "polar " + want + " '", 6,
                       r.polarHourAngle ? r.polarHourAngle->errorArcmin.value : kNoValue, kAmplitudeShare);
    }
}

// A field of 10 stars turning at a known rate, each with its own seeing: the rotation comes
// back, and the common motion's RMS (whose truth is 0: the field drifts in a straight line)
// is closer to the truth than any single star's.
void checkField(Table& table, const ScratchFolder& scratch) {
    FieldOptions o;
    o.frames = 30;
    o.arcsecPerPixel = LabelArcsecPerPixel(trackParameters());
    o.seed = 41;
    std::vector<std::string> paths;
    for (const SyntheticFrame& f : WriteSyntheticField(scratch.make("field"), o)) paths.push_back(f.path);
    ReportOptions options;
    options.arcsecPerPixel = o.arcsecPerPixel;
    options.intervalS = o.cadenceS;
    const FieldNight night = MeasureFieldNight(paths, MeasureSettings{}, 20, options);
    const auto& stars = night.stars;
    const FieldMotion& motion = night.motion;
    const TrackingReport& common = night.report;
    const TimeAxis times = FrameTimes(stars.front(), options.intervalS);
    const std::string seq = "field";
    table.holds(seq, "stars found", std::to_string(o.stars), std::to_string(stars.size()),
                int(stars.size()) == o.stars);
    table.relative(seq, "field rotation deg/h", o.rotationDegPerHour, motion.rotationDegPerHour.value, kAmplitudeShare);
    table.relative(seq, "seeing jitter \"", o.seeingArcsec, motion.seeingJitterArcsec.value, 0.2);
    double best = std::numeric_limits<double>::infinity();
    for (const auto& star : stars) best = std::min(best, ComputeReport(star, times, options).rmsTotal.value);
    table.holds(seq, "common rms \" < any star's", "< " + Table::fmt(best), Table::fmt(common.rmsTotal.value),
                common.rmsTotal.value < best);
}

}  // namespace

int SelfTest(const std::vector<std::string>& args) {
    bool refused = false;
    try {
        refused = !CommandLine().parse(args).empty();
    } catch (const UsageError&) {
        refused = true;
    }
    if (refused) {
        std::cerr << "usage: nuvak-cli selftest\n";
        return 2;
    }
    try {
        ScratchFolder scratch;
        Table table;
        checkMain(table, scratch);
        checkCoverage(table, scratch);
        checkQuiet(table, scratch);
        checkSmear(table, scratch);
        checkWorm(table, scratch);
        checkConfounders(table, scratch);
        checkPolar(table, scratch);
        checkField(table, scratch);
        std::printf("%s\n", table.misses() ? (std::to_string(table.misses()) + " figure(s) missed").c_str()
                                           : "every figure within its tolerance");
        std::fflush(stdout);
        return table.misses() ? 1 : 0;
    } catch (...) {
        std::fflush(stdout);
        return ReportRunFailure();
    }
}

}  // namespace nuvak::cli
