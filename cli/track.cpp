#include "cli/track.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "core/json.h"
#include "platform/system/text.h"
#include "resources/messages.h"
#include "tracking/measure.h"
#include "tracking/report.h"
#include "tracking/results.h"
#include "tracking/stars.h"
#include "tracking/statistics.h"

namespace nuvak::cli {

extern const char kTrackUsage[] =
    "usage: nuvak-cli track [options] FRAME...   (2 to 200 FITS frames in time order; more with --report alone)\n"
    "  --focal MM  --pixel UM  --interval S  --multiplier C  --psf R  --star X,Y  --range N\n"
    "  --dark FILE (repeatable)  --noise-cut  --flatten-x  --flatten-y  --arcsec\n"
    "  --results FILE  --json\n"
    "  --report FILE.json|FILE.html: the tracking report (drift in RA and Dec, polar-alignment\n"
    "    error, periodic error, star width, frame flags), with\n"
    "    --dec DEG (else OBJCTDEC or DEC)  --camera-angle DEG (default 0)  --worm-period S;\n"
    "    --pec FILE.csv: the periodic-error correction for the mount over one worm period (the\n"
    "    --worm-period, else the detected period), in axis arc-seconds and arc-seconds per second,\n"
    "    with --pec-bins N (default 100)  --pec-phase-ref ISO-TIME (the UTC of phase 0; default\n"
    "    the first frame's time);\n"
    "    --site LAT,LON (degrees, longitude east positive; else SITELAT and SITELONG) with\n"
    "    --ra ANGLE (degrees, or hours as HH:MM:SS; else OBJCTRA or RA): the hour angle and the\n"
    "    component of the polar-axis error the declination drift measures there;\n"
    "    --stars N|auto: N stars (auto: up to 20) found on the first frame, the track their common\n"
    "    motion, with the seeing jitter and the field rotation;\n"
    "    --frames-csv FILE.csv: one row a frame (UTC and JD at mid-exposure, position, offsets,\n"
    "    flags, FWHM, HFD, flux, SNR);\n"
    "    without --focal and --pixel the report takes FOCALLEN and XPIXSZ (or PIXSIZE1 x XBINNING)\n"
    "    from the frames when they have them\n";

namespace {

constexpr int kMaxPecBins = 100000;
constexpr int kAutoStars = 20, kMaxStars = 200;

// The path as the current folder makes it, without "." and ".." steps; unchanged when the
// current folder cannot be had.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(PathOf(path), ec);
    return ec ? path : Utf8Of(full.lexically_normal());
}

int wholeNumber(const std::string& option, const std::string& value) {
    try {
        return ParseInt(value);
    } catch (const ConversionError&) {
        throw UsageError{option + " takes a whole number, not '" + value + "'"};
    }
}

double realValue(const std::string& option, const std::string& value) {
    try {
        const double v = ParseReal(value);
        if (std::isfinite(v)) return v;
    } catch (const ConversionError&) {
    }
    throw UsageError{option + " takes a number, not '" + value + "'"};
}

std::string realNumber(const std::string& option, const std::string& value) {
    try {
        ParseReal(value);
        return value;
    } catch (const ConversionError&) {
        throw UsageError{option + " takes a number, not '" + value + "'"};
    }
}

struct Options {
    std::vector<std::string> frames;
    TrackingParameters parameters;
    MeasureSettings settings;
    std::optional<std::string> results;
    bool json = false;
    std::optional<std::string> report;     // the report file, .json or .html
    ReportOptions reportOptions;           // what the report needs beside the run's settings
    bool scaleGiven = false;               // --focal or --pixel: the report takes no scale from the frames
    std::optional<std::string> pec;        // the correction table, .csv
    std::optional<std::string> framesCsv;  // the per-frame table, .csv
    int stars = 0;                         // --stars: how many to find (0: the one star)
    int pecBins = 100;
};

bool endsWith(const std::string& s, std::string_view ending) {
    if (s.size() < ending.size()) return false;
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (std::tolower((unsigned char)s[s.size() - ending.size() + i]) != ending[i]) return false;
    return true;
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    o.parameters.multiplier = "1.000";
    std::vector<std::string> reportOnly;  // options that mean something only with --report
    std::vector<std::string> pecOnly;     // and only with --pec
    CommandLine line;
    line.option("--focal",
                [&](const std::string& v) {
                    o.parameters.focalLength = std::to_string(wholeNumber("--focal", v));
                    o.scaleGiven = true;
                })
        .option("--pixel",
                [&](const std::string& v) {
                    o.parameters.pixelSize = realNumber("--pixel", v);
                    o.scaleGiven = true;
                })
        .option("--interval",
                [&](const std::string& v) { o.parameters.interval = std::to_string(wholeNumber("--interval", v)); })
        .option("--multiplier", [&](const std::string& v) { o.parameters.multiplier = realNumber("--multiplier", v); })
        .option("--psf", [&](const std::string& v) { o.settings.psfRadius = wholeNumber("--psf", v); })
        .option("--star",
                [&](const std::string& v) {
                    const auto comma = v.find(',');
                    if (comma == std::string::npos) throw UsageError{"--star takes X,Y, not '" + v + "'"};
                    o.settings.starSpecified = true;
                    o.settings.starX = wholeNumber("--star", v.substr(0, comma));
                    o.settings.starY = wholeNumber("--star", v.substr(comma + 1));
                })
        .option("--range", [&](const std::string& v) { o.settings.searchRange = wholeNumber("--range", v); })
        .option("--dark",
                [&](const std::string& v) {
                    o.settings.darkProcessing = true;
                    o.settings.darks.push_back(v);
                })
        .flag("--noise-cut", [&] { o.settings.noiseCut = true; })
        .flag("--flatten-x", [&] { o.parameters.flattenX = true; })
        .flag("--flatten-y", [&] { o.parameters.flattenY = true; })
        .flag("--arcsec", [&] { o.parameters.arcsec = true; })
        .option("--results", [&](const std::string& v) { o.results = v; })
        .flag("--json", [&] { o.json = true; })
        .option("--report",
                [&](const std::string& v) {
                    if (!endsWith(v, ".json") && !endsWith(v, ".html"))
                        throw UsageError{"--report takes a file ending in .json or .html, not '" + v + "'"};
                    o.report = v;
                })
        .option("--dec",
                [&](const std::string& v) {
                    const double dec = realValue("--dec", v);
                    if (!(dec > -90 && dec < 90))
                        throw UsageError{"--dec takes a declination between -90 and 90 degrees"};
                    o.reportOptions.decDeg = dec;
                    reportOnly.emplace_back("--dec");
                })
        .option("--camera-angle",
                [&](const std::string& v) {
                    o.reportOptions.cameraAngleDeg = realValue("--camera-angle", v);
                    reportOnly.emplace_back("--camera-angle");
                })
        .option("--worm-period",
                [&](const std::string& v) {
                    const double period = realValue("--worm-period", v);
                    if (!(period > 0)) throw UsageError{"--worm-period takes a period in seconds above 0"};
                    o.reportOptions.wormPeriodS = period;
                    reportOnly.emplace_back("--worm-period");
                })
        .option("--pec",
                [&](const std::string& v) {
                    if (!endsWith(v, ".csv")) throw UsageError{"--pec takes a file ending in .csv, not '" + v + "'"};
                    o.pec = v;
                    reportOnly.emplace_back("--pec");
                })
        .option("--pec-bins",
                [&](const std::string& v) {
                    const int bins = wholeNumber("--pec-bins", v);
                    if (bins < 2 || bins > kMaxPecBins)
                        throw UsageError{"--pec-bins takes a whole number from 2 to " + std::to_string(kMaxPecBins) +
                                         ", not '" + v + "'"};
                    o.pecBins = bins;
                    pecOnly.emplace_back("--pec-bins");
                })
        .option("--site",
                [&](const std::string& v) {
                    const auto comma = v.find(',');
                    const auto lat = comma == std::string::npos ? std::nullopt : ParseAngle(v.substr(0, comma));
                    const auto lon = comma == std::string::npos ? std::nullopt : ParseAngle(v.substr(comma + 1));
                    if (!lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 360)
                        throw UsageError{"--site takes LAT,LON in degrees (such as 35.5,139.25), not '" + v + "'"};
                    o.reportOptions.siteLatDeg = *lat;
                    o.reportOptions.siteLonDeg = *lon;
                    reportOnly.emplace_back("--site");
                })
        .option("--ra",
                [&](const std::string& v) {
                    const bool hours = v.find(':') != std::string::npos;
                    const auto ra = ParseAngle(v);
                    if (!ra || *ra < 0 || *ra >= (hours ? 24 : 360))
                        throw UsageError{"--ra takes degrees (0 to 360) or hours as HH:MM:SS, not '" + v + "'"};
                    o.reportOptions.raDeg = hours ? *ra * 15 : *ra;
                    reportOnly.emplace_back("--ra");
                })
        .option("--stars",
                [&](const std::string& v) {
                    o.stars = v == "auto" ? kAutoStars : wholeNumber("--stars", v);
                    if (o.stars < 3 || o.stars > kMaxStars)
                        throw UsageError{"--stars takes a number of stars from 3 to " + std::to_string(kMaxStars) +
                                         " or auto, not '" + v + "'"};
                    reportOnly.emplace_back("--stars");
                })
        .option("--frames-csv",
                [&](const std::string& v) {
                    if (!endsWith(v, ".csv"))
                        throw UsageError{"--frames-csv takes a file ending in .csv, not '" + v + "'"};
                    o.framesCsv = v;
                    reportOnly.emplace_back("--frames-csv");
                })
        .option("--pec-phase-ref", [&](const std::string& v) {
            const auto utc = ParseIsoDateTime(v);
            if (!utc)
                throw UsageError{"--pec-phase-ref takes a UTC date and time such as 2026-12-08T21:14:05, not '" + v +
                                 "'"};
            o.reportOptions.phaseRefUtcS = *utc;
            pecOnly.emplace_back("--pec-phase-ref");
        });
    o.frames = line.parse(args);
    if (!reportOnly.empty() && !o.report) throw UsageError{reportOnly.front() + " needs --report"};
    if (!pecOnly.empty() && !o.pec) throw UsageError{pecOnly.front() + " needs --pec"};
    if (o.frames.size() < 2) throw UsageError{"track needs at least 2 frames"};
    // The window's figures hold at most 200 frames; the report alone takes a longer night.
    if (o.frames.size() > std::size_t(kMaxFrames) && (!o.report || o.json || o.results))
        throw UsageError{"track takes at most 200 frames (more with --report alone, without --json and --results)"};
    // Frames and darks by their full paths, as the window lists them: the results file names
    // the folder of the first frame, which a bare name would not give.
    for (std::vector<std::string>* paths : {&o.frames, &o.settings.darks})
        for (std::string& p : *paths) p = AbsolutePath(p);
    return o;
}

// The frame a run is at (1 on), 0 before the first.
class FrameReached final : public Progress {
public:
    void setPosition(int i) override {
        if (i > 0) frame = i;
    }
    int frame = 0;
};

std::string series(const TrackingState::Series& s, int n) {
    return JsonArray(std::span(s.data(), std::size_t(n)), JsonNumber);
}

std::string json(const Options& o, const TrackingState& st, const ResultLabels& labels) {
    const int n = st.FrameCount;
    const std::string frames = JsonArray(std::span(o.frames.data(), std::size_t(n)), JsonString);
    JsonObject labelObject;
    const char* names[] = {"Label7", "Label8", "Label9", "Label10", "Label11", "Label12", "Label13", "Label14"};
    for (int i = 0; i < 8; ++i) labelObject.add(names[i], labels[i]);
    JsonObject j;
    j.addRaw("frames", frames)
        .addRaw("centroid_x", series(st.CentroidX, n))
        .addRaw("centroid_y", series(st.CentroidY, n))
        .addRaw("fwhm_radius", series(st.FwhmRadius, n))
        .add("first_peak_x", st.FirstPeakX)
        .add("first_peak_y", st.FirstPeakY)
        .add("search_radius", st.SearchRadius)
        .add("mean_x", st.MeanX)
        .add("mean_y", st.MeanY)
        .add("mean_fwhm", st.MeanFwhm)
        .addRaw("deviation_x", series(st.DeviationX, n))
        .addRaw("deviation_y", series(st.DeviationY, n))
        .add("rms_all", st.RmsAll)
        .add("rms_x", st.RmsX)
        .add("rms_y", st.RmsY)
        .add("max_dev_x", st.MaxDevX)
        .add("min_dev_x", st.MinDevX)
        .add("max_dev_y", st.MaxDevY)
        .add("min_dev_y", st.MinDevY)
        .add("pv_x", st.PeakToValleyX)
        .add("pv_y", st.PeakToValleyY)
        .add("drift_x", st.DriftX)
        .add("drift_y", st.DriftY)
        .add("arcsec_per_pixel", LabelArcsecPerPixel(o.parameters))
        .addRaw("labels", labelObject.str());
    return j.str();
}

}  // namespace

int Track(const std::vector<std::string>& args) {
    Options o;
    try {
        o = parse(args);
    } catch (const UsageError& u) {
        std::cerr << "nuvak-cli: " << u.message << "\n" << kTrackUsage;
        return 2;
    }
    try {
        TrackingState st;
        st.FrameCount = int(o.frames.size());
        // The run stops at the first frame it cannot measure; its message then names that frame.
        const auto stopped = [&](const std::exception_ptr& stop, int frame) -> int {
            try {
                std::rethrow_exception(stop);
            } catch (const FrameSizeError& e) {
                // The report takes frames of any size: for a night of large frames it is the answer.
                if (o.report && e.kind == FrameSizeError::Kind::TooLarge) {
                    std::cerr << "nuvak-cli: " << o.frames[std::size_t(std::max(frame, 1) - 1)] << " is " << e.width
                              << " x " << e.height << ": the report is written; the eight figures take frames up to "
                              << kTrackMaxSide << " x " << kTrackMaxSide << "\n";
                    return 0;
                }
                if (frame == 0) throw;
                throw TrackingError(o.frames[std::size_t(frame - 1)] + ": " + e.what());
            } catch (const TrackingError& e) {
                if (frame == 0) throw;
                throw TrackingError(o.frames[std::size_t(frame - 1)] + ": " + e.what());
            }
        };
        if (o.report) {
            // One pass gives the report and the window's figures: the same frames with the same
            // settings, the report on the labels' scale unless the frames' headers give one and
            // the command gave none. A frame the window's run stops at is only a lost frame to
            // the report, which is written first.
            ReportOptions options = o.reportOptions;
            options.arcsecPerPixel = LabelArcsecPerPixel(o.parameters);
            options.scaleSource = "options";
            options.intervalS = ParseInt(o.parameters.interval);
            const std::vector<ReportFrame> frames = MeasurePass(o.frames, o.settings, PassScope::Night);
            if (!o.scaleGiven)
                if (const auto scale = FramesScale(frames, ParseReal(o.parameters.multiplier))) {
                    options.arcsecPerPixel = scale->arcsecPerPixel;
                    options.scaleSource = scale->source;
                }
            TrackingReport report;
            std::vector<ReportFrame> reported = frames;
            if (o.stars) {
                // The field: its stars found on the first frame, each measured through the night;
                // the report's track is their common motion.
                FieldNight night = MeasureFieldNight(o.frames, o.settings, o.stars, options);
                reported = std::move(night.common);
                report = std::move(night.report);
            } else {
                report = ComputeReport(frames, options);
            }
            const std::string text = endsWith(*o.report, ".json") ? ReportJson(report) : ReportHtml(report);
            WriteFileAtomically(*o.report, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
            if (o.framesCsv) {
                const std::string table = FramesCsv(report, reported);
                WriteFileAtomically(*o.framesCsv,
                                    std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size()));
            }
            if (o.pec) {
                // The table is written after the report, which stands whatever the table's fate.
                if (o.reportOptions.phaseRefUtcS && report.worm.phaseRef != "given")
                    throw Refusal(msg::kPecPhaseRefNoDates);
                const std::string table = PecTableCsv(report, o.pecBins);
                WriteFileAtomically(*o.pec,
                                    std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size()));
            }
            if (o.frames.size() > std::size_t(kMaxFrames)) {
                std::cerr << "nuvak-cli: " << o.frames.size()
                          << " frames: the report is written; the eight figures take at most 200 frames\n";
                return 0;
            }
            if (const int stop = FillRunState(frames, o.settings, st.FrameCount, st); stop >= 0)
                return stopped(frames[std::size_t(stop)].run.stop, stop + 1);
        } else {
            FrameReached reached;
            try {
                RunMeasurement(o.frames, o.settings, st, &reached);
            } catch (const TrackingError&) {
                return stopped(std::current_exception(), reached.frame);
            }
        }
        const ResultLabels labels = RefreshStatistics(st, o.parameters);
        if (o.results) {
            std::vector<std::string> names;
            for (const auto& f : o.frames) names.push_back(FileNameOf(f));
            const std::string bytes = platform::ToCodePage932(ResultsFileText(st, names, o.frames.front()));
            WriteFileAtomically(ChangeFileExt(*o.results, ".txt"),
                                std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        }
        if (o.json) {
            std::cout << json(o, st, labels) << "\n";
        } else {
            for (const std::string& l : labels) std::cout << l << "\n";
        }
        return 0;
    } catch (...) {
        return ReportRunFailure();
    }
}

}  // namespace nuvak::cli
