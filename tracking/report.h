#pragma once
// The tracking report: from the frames of a measurement run, the mount's drift in RA and Dec
// on the real time axis with honest intervals, the residual RMS, the periodic error, the
// polar-alignment error, the true star width and each frame's centroid noise and flags.
// It sits beside the window's figures and never changes them.

#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/fitscards.h"
#include "tracking/measure.h"
#include "tracking/statistics.h"

namespace nuvak {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// What the report needs beside the run's own settings.
struct ReportOptions {
    double arcsecPerPixel = 0;            // as the labels use it (focal length, pixel size, multiplier)
    std::string scaleSource = "options";  // what gave arcsecPerPixel (see TrackingReport::scaleSource)
    double intervalS = 15;                // time between frames when the frames carry no times
    std::optional<double> decDeg;         // declination given by the user; else the frames' (FramesDeclination)
    double cameraAngleDeg = 0;            // camera angle: image x turned onto RA
    std::optional<double> wormPeriodS;    // the worm's period, to name the harmonic of the peak
                                          // and to fold the RA residuals on
    std::optional<double> phaseRefUtcS;   // the UTC of the fold's phase 0, seconds since 1970;
                                          // else the first frame's time
    std::optional<double> siteLatDeg, siteLonDeg;  // the site (longitude east of Greenwich positive);
                                                   // else the frames' (FramesSite)
    std::optional<double> raDeg;                   // the star's right ascension in degrees; else the
                                                   // frames' (FramesRightAscension)
};

// What the window's run measured of a frame: MeasureStar's peak, centroid and width radius in
// image pixels, with the run's search (around the picked star, then the last centroid), and
// why the run stops at this frame. The run's figures are those of the frames before the first
// frame with a stop.
struct RunFigures {
    bool opened = false;    // the frame's header was read and checked
    bool measured = false;  // MeasureStar found the star
    int peakX = 0, peakY = 0;
    double cx = 0, cy = 0, fwhmRadius = 0;
    std::exception_ptr stop;  // the exception the run stops with; null where it goes on
};

// One frame as the report measured it, in list order. Positions use the window's convention:
// pixel (i, j) covers [i, i + 1) x [j, j + 1), its centre at (i + 0.5, j + 0.5), so x and y
// compare directly with the window's centroids. A found star's x and y are the centre of a
// circular Gaussian on a constant fitted (least squares, saturated pixels left out) to the
// pixels within about two FWHM of the peak (the FWHM first guessed from the run's half-maximum
// count); when that fit fails, the background-subtracted centroid there, and fwhmPx stays NaN.
// The sky is the median of an annulus about three to five FWHM from the peak, its noise the
// clipped standard deviation there. A peak less than 5 sky sigmas above the sky is not found.
struct ReportFrame {
    std::string path;
    std::string headerCards;            // the FITS header, 80-byte cards, for times, scale, declination
                                        // and pier side;
                                        // empty when the file could not be read
    bool found = false;                 // a significant star peak was found
    double x = 0, y = 0;                // centroid in image pixels (y in file row order)
    double peak = 0;                    // brightest star pixel, before background subtraction
    double background = 0;              // sky level around the star
    double noise = 0;                   // standard deviation of the sky
    double flux = 0;                    // background-subtracted star signal within the HFD's circle
    double fwhmPx = kNoValue;           // full width at half maximum of a fitted circular Gaussian
    double hfdPx = kNoValue;            // half-flux diameter within a circle of 3 FWHM (at most the
                                        // annulus's inner radius) about (x, y)
    double centroidSigmaPx = kNoValue;  // centroid uncertainty per axis from sky noise and star signal
                                        // (the star's shot noise scaled as its residuals show)
    bool saturated = false;             // a pixel of the fit's circle reads 65535 after the zero
                                        // offset, before the noise cut and the dark
    // Why the frame has no star: "unreadable", "other_size" or "no_star", with the user's
    // words; empty while found.
    std::string lostReason, lostMessage;
    // Measured on 2 x 2 superpixels (the sum of each cell of a Bayer mosaic, BAYERPAT or
    // COLORTYP naming the pattern); x, y and the widths are still in image pixels, the levels
    // (peak, background, noise, flux) in superpixel sums.
    bool superpixels = false;
    RunFigures run;  // the window's figures of the frame, from the same reading
};

// Reads and measures every frame with the run's settings (the same darks, noise cut and star
// as the window's run), on frames of any size the reader takes: a frame beyond 64 MiB of
// samples is held a band of rows at a time (with a star given, only the rows about it; without
// one, the whole frame's peak is found band by band), with the figures a whole frame gives.
// A frame that cannot be measured (not readable, of another size than the first frame or the
// darks, no star) is kept with found = false and its reason, and the run goes on. A dark that
// cannot be read throws as in the window's run.
std::vector<ReportFrame> MeasureReportFrames(const std::vector<std::string>& frames, const MeasureSettings& settings,
                                             Progress* progress = nullptr);

// One pass over the frames gives every figure once, each frame read once:
//   Run            the window's run alone: frames and darks within its size limit, the run's
//                  figures only, and no frame read after its first stop;
//   RunWithReport  the same with the report's figures, for a report of that run;
//   Night          every frame as MeasureReportFrames measures them, with the run's figures and
//                  stops besides (a frame past the run's size limit is a stop, not a lost frame).
// The report searches about the run's centroid, so both follow the same star.
enum class PassScope { Run, RunWithReport, Night };
std::vector<ReportFrame> MeasurePass(const std::vector<std::string>& frames, const MeasureSettings& settings,
                                     PassScope scope, Progress* progress = nullptr);

// The window's figures of a run of n frames from the pass's records, as RunMeasurement writes
// them; the index of the frame the run stops at (records[i].run.stop), or -1.
int FillRunState(const std::vector<ReportFrame>& records, const MeasureSettings& settings, int n, TrackingState& state);
namespace detail {
// The same with every frame held in bands, bandRows rows each in a whole-frame search.
std::vector<ReportFrame> MeasureReportFramesInBands(const std::vector<std::string>& frames,
                                                    const MeasureSettings& settings, int bandRows);
}  // namespace detail

// The time axis: each frame's mid-exposure time in seconds from the first frame's, from the
// first of these sources that every frame whose header was read has (a frame without a header,
// NaN): DATE-AVG (the mid-exposure date-time); DATE-OBS (with TIME-OBS when DATE-OBS holds the
// date alone), MJD-OBS or JD (the exposure start, in days) plus half of EXPTIME or EXPOSURE
// (nothing added without one); MJD-AVG (mid-exposure, in days). Otherwise interval x index.
struct TimeAxis {
    std::string source;  // "DATE-AVG", "DATE-OBS", "MJD-OBS", "MJD-AVG", "JD" or "interval"
    std::vector<double> t;
    std::optional<double> epochUtcS =
        std::nullopt;  // the UTC of t = 0, seconds since 1970; nothing on the interval axis
};
TimeAxis FrameTimes(const std::vector<ReportFrame>& frames, double intervalS);

// Per time: "time_backwards" when it is earlier than the last time before it in the list,
// "time_repeated" when it equals it, empty otherwise (and for NaN). Such frames keep their
// place in the list and are left out of every figure.
std::vector<std::string> TimeOrderFlags(const std::vector<double>& t);

// The pixel scale from the frames' headers: FOCALLEN (mm) with XPIXSZ (um, binning included),
// else with PIXSIZE1 x XBINNING (XBINNING 1 when missing), the first of the two that every
// frame whose header was read has, all giving the same scale; the multiplier acts as on the
// labels' scale. Nothing when the headers do not give one.
struct PixelScale {
    double arcsecPerPixel = 0;
    std::string source;  // "FOCALLEN+XPIXSZ" or "FOCALLEN+PIXSIZE1*XBINNING"
};
std::optional<PixelScale> FramesScale(const std::vector<ReportFrame>& frames, double multiplier);

// The exposure time in seconds: the median over the frames whose header gives EXPTIME, else
// EXPOSURE; nothing when no frame's does.
std::optional<double> FramesExposure(const std::vector<ReportFrame>& frames);

// An ISO 8601 UTC date-time to the millisecond ("2026-12-08T21:14:05.250") of seconds since 1970.
std::string FormatIsoDateTime(double utcS);

// The frames (list indices) whose PIERSIDE ("EAST" or "WEST") differs from the last side read
// before them: the first frame after each meridian flip. Frames without one keep the side.
std::vector<std::size_t> MeridianFlips(const std::vector<ReportFrame>& frames);

// Seconds since 1970-01-01T00:00:00 of an ISO 8601 date-time ("2026-12-08T21:14:05.25",
// or a date alone at midnight); nothing when the text is not one.
std::optional<double> ParseIsoDateTime(std::string_view text);

// The declination in degrees, the mean of every frame's OBJCTDEC, else its DEC ("+45 30 00",
// "45:30:00" or "45.5"); nothing when a frame whose header was read lacks both or its value
// does not parse.
std::optional<double> FramesDeclination(const std::vector<ReportFrame>& frames);

// The site from the first frame whose header gives both SITELAT and SITELONG (degrees, as
// numbers or "+35 30 00"; longitude east positive): (latitude, longitude); nothing without.
std::optional<std::pair<double, double>> FramesSite(const std::vector<ReportFrame>& frames);

// The star's right ascension in degrees from the first frame whose header gives OBJCTRA
// (hours, "05 35 17.3" or "05:35:17.3") or RA (degrees as a number, hours when written with
// separators); nothing without.
std::optional<double> FramesRightAscension(const std::vector<ReportFrame>& frames);

// An angle written as a number ("35.5", "-5.25") or in sexagesimal fields ("+35 30 00",
// "-05:15:00"), the sign belonging to the whole angle; nothing when the text is not one.
std::optional<double> ParseAngle(std::string_view text);

// The hour angle in hours (-12, 12] of right ascension raDeg at a site's longitude (east
// positive) at a UTC (seconds since 1970), from the mean sidereal time.
double HourAngleHours(double utcS, double lonDeg, double raDeg);

// Statistics the report's parts share: the median of the finite values (NaN when none), the
// two-sided 95 % quantile of Student's t, and the chi-square quantile at the standard normal
// quantile z (1.6449 for the upper 5 %, -1.96 for the lower 2.5 %; Wilson-Hilferty).
double MedianOf(std::vector<double> v);
double StudentT975(double df);
double ChiSquareQuantile(double df, double z);
// The standard normal's upper 2.5 % quantile, and the median absolute deviation of normally
// distributed values in sigmas.
constexpr double kZ975 = 1.959963984540054;
constexpr double kMadToSigma = 1.4826;

// The image offset (dx, dy) in pixels turned by the camera angle into (RA, Dec) in pixels.
std::pair<double, double> TurnToSky(double dx, double dy, double cameraAngleDeg);

// A figure; ci95 is present for the figures with an interval.
struct Figure {
    double value = kNoValue;
    std::optional<std::pair<double, double>> ci95;
};

struct PeriodicError {
    Figure periodS, amplitudePpArcsec, fap;
    std::optional<int> harmonic;    // which harmonic of the worm period the peak is
    std::vector<double> frequency;  // the periodogram, cycles per second
    std::vector<double> power;      // normalised Lomb-Scargle power
    double fitPhase = 0;            // the sinusoid fitted at the period: A sin(2 pi t / P + phase)
};

// One harmonic of the worm's folded curve, A sin(2 pi order phase + phaseRad) in arc-seconds
// on the sky, corrected for the exposure's smear (divided by smearFactor).
struct WormHarmonic {
    int order = 0;
    Figure amplitudeArcsec;      // A, half the harmonic's peak to peak; NaN when not fitted
    double phaseRad = kNoValue;  // at the fold's phase 0
    double smearFactor = 1;      // sinc(pi T order / P): how much of it a centroid of T seconds keeps
    std::string left;            // why it is not fitted: "phase_coverage" (the folded frames leave a
                                 // gap of half its period or more) or "exposure_smear" (T beyond
                                 // 0.6 of its period); empty when fitted
};

// The RA track folded on the worm's period (the --worm-period, else the detected period when
// its peak is significant) and fitted with a Fourier series of the worm's first kWormHarmonics
// harmonics together with the drift line (least squares, Student's t intervals).
inline constexpr int kWormHarmonics = 4;
struct WormFold {
    double periodS = kNoValue;  // NaN: nothing folded
    std::string periodSource;   // "worm_period" or "detected"
    double phaseRefT = 0;       // the time of phase 0 on the report's axis, seconds
    std::string phaseRef;       // "given" (ReportOptions::phaseRefUtcS) or "first_frame"
    std::optional<double> phaseRefUtcS;
    std::vector<double> phase;            // per frame in [0, 1); NaN for frames not used
    std::vector<int> cycle;               // per frame, the worm cycle from phase 0 (-1 for frames not used)
    std::vector<double> residual;         // per frame, the RA position about the fit's own drift line (NaN
                                          // for frames not used, and all NaN when nothing was fitted)
    std::vector<WormHarmonic> harmonics;  // orders 1 ... kWormHarmonics
    struct Point {
        double phase = 0, arcsec = 0, lo = 0, hi = 0;  // the curve and its 95 % band
    };
    std::vector<Point> curve;                     // kCurvePoints phases over one cycle, the constant left out
    double residualRmsAfterPecArcsec = kNoValue;  // the residuals' RMS after the fitted curve
    static constexpr int kCurvePoints = 100;
};

// The fitted harmonics' sum at a phase (cycles): the worm's periodic error on the sky.
double WormCurveAt(const WormFold& fold, double phase);

// The structure function of the track: at a lag, the RMS of the change of the sky position
// (both axes together) between the pairs of used frames that far apart in time, with its 95 %
// interval. White centroid noise is flat, a drift rises with the lag, and a periodic error
// peaks at half its period.
struct StructurePoint {
    double lagS = 0;       // the mean lag of the bin's pairs
    double rmsArcsec = 0;  // sqrt(mean(dRA^2 + dDec^2))
    double lo = 0, hi = 0;
    int pairs = 0;
};

// The polar axis's error from the declination drift where the night's hour angle says which
// component it measures: to first order the drift is
//   dDec/dt = -s w (dAlt sin H + dAz cos(lat) cos H)    (s = +1 north of the equator, -1 south)
// for an axis dAlt above and dAz east of the pole, whatever the star's declination: near the
// east or west horizon (|sin H| the larger) the altitude, near the meridian the azimuth.
struct HourAnglePolar {
    double latDeg = 0, lonDeg = 0, raDeg = 0;
    double startH = kNoValue, endH = kNoValue, meanH = kNoValue;  // the used frames' hour angles
    std::string component;                                        // "altitude" or "azimuth"
    bool mixed = false;  // the other component's weight is more than half this one's
    Figure errorArcmin;  // altitude: positive above the pole; azimuth: positive east of it
};

// The field of many stars (track --stars): the report's track is the stars' common motion,
// and beside it what only many stars show.
struct FieldRotation {
    int stars = 0;              // the stars the solution rests on
    Figure seeingJitterArcsec;  // the star-to-star scatter about the common motion, per axis
    Figure degPerHour;          // the field's rotation, counter-clockwise in the image
    Figure rateArcsecPerMinAtCorner;
    // A polar axis off by e turns the field at w e cos(H - Hp) / cos(dec) and drifts the
    // declination at w e sin(H - Hp) (to first order): the two see the two components of e.
    Figure polarFromRotationArcmin;      // |rotation| cos(dec) / w; NaN without the declination
    Figure polarFromDriftArcmin;         // |declination drift| / w, the first-order figure
    double polarTotalArcmin = kNoValue;  // the two components together
    // "both", "drift_only", "rotation_only" or "neither": which of the two differ from 0 at 95 %.
    std::string agreement;
    std::vector<int> starCount;       // per frame
    std::vector<double> rotationDeg;  // per frame, from the reference frame
};

// A warning of the report: a code and the user's words.
struct ReportWarning {
    std::string code, message;
};

struct TrackingReport {
    std::string timeSource;           // TimeAxis::source
    std::optional<double> epochUtcS;  // TimeAxis::epochUtcS
    double arcsecPerPixel = 0;
    std::string scaleSource;  // "FOCALLEN+XPIXSZ", "FOCALLEN+PIXSIZE1*XBINNING" (the frames'
                              // headers), "options" (the command's or their defaults) or
                              // "window" (the tracking window's fields)
    double cameraAngleDeg = 0;
    std::optional<double> decDeg;
    std::optional<double> wormPeriodS;

    // Per frame, list order.
    std::vector<std::string> frames;
    std::vector<double> t;        // seconds
    std::vector<double> ra, dec;  // arc-seconds from the first used position (NaN when not used)
    std::vector<double> centroidSigmaPx;
    std::vector<std::vector<std::string>> flags;  // "saturated", "lost", "cloud", "jump",
                                                  // "time_backwards", "time_repeated",
                                                  // "meridian_flip"
    struct LostReason {
        std::string reason, message;  // ReportFrame's, or "jump"; empty for a frame not lost
    };
    std::vector<LostReason> lostReasons;
    std::vector<bool> used;
    // The first frame after each meridian flip. The frames from a flip to the next turn by 180
    // degrees on the sky; each such part gets its own intercept, all share the drift lines'
    // slopes, and ra and dec are given on the first part's lines (each part moved by the
    // difference of its intercepts).
    std::vector<std::size_t> meridianFlips;

    Figure driftRa, driftDec;                  // arc-seconds per minute
    double interceptRa = 0, interceptDec = 0;  // the drift lines at t = 0, arc-seconds (the first part's)
    Figure rmsRa, rmsDec, rmsTotal;            // arc-seconds, after the drift lines
    PeriodicError pe;
    // The periodic error's amplitude undone from the exposure's smear: a centroid over T
    // seconds sees a harmonic of period P shrunk by sinc(pi T / P). NaN when T is unknown,
    // beyond 0.6 P or the cadence gives fewer than two frames a period (each with a warning).
    std::optional<double> exposureS;  // FramesExposure
    double smearFactor = kNoValue;
    Figure amplitudePpCorrectedArcsec;
    Figure amplitudePpAxisArcsec;  // the corrected figure at the RA axis: divided by cos(dec)
    WormFold worm;
    std::vector<ReportWarning> warnings;
    std::optional<Figure> polarAlignmentErrorArcmin;
    std::optional<HourAnglePolar> polarHourAngle;  // with the site and the star's RA
    std::vector<double> hourAngleH;                // per frame, hours; empty without them
    // A step of both axes between stable stretches of the track (a dither or a bump): the
    // first frame after each. Every stretch has its own intercept as after a meridian flip,
    // without the turn, and its first frame is flagged "jump".
    std::vector<std::size_t> jumps;
    // The star's width against time (px per hour, the used unsaturated frames): a steady rise
    // is a focus drift, warned of.
    Figure fwhmTrendPxPerHour;
    std::optional<FieldRotation> field;  // with --stars
    std::vector<StructurePoint> structureFunction;
    std::string structureReading;         // "flat", "rising", "periodic"; empty with too few lags
    double structurePeakLagS = kNoValue;  // "periodic": the lag of the peak
    Figure fwhmPx, fwhmArcsec, hfdPx;
    bool noiseLimited = false;
    bool superpixels = false;  // the frames were measured on 2 x 2 superpixels (a Bayer mosaic)
};

// Every figure of the report from the measured frames.
TrackingReport ComputeReport(const std::vector<ReportFrame>& frames, const ReportOptions& options);
// The same on a time axis already known (one time per frame), e.g. for series without headers.
TrackingReport ComputeReport(const std::vector<ReportFrame>& frames, const TimeAxis& times,
                             const ReportOptions& options);

// The report as JSON (the field names of the report's documentation) and as a self-contained
// HTML page with its plots inline.
std::string ReportJson(const TrackingReport& report);
std::string ReportHtml(const TrackingReport& report);

// The per-frame table: one row a frame in list order with the UTC and the Julian date at
// mid-exposure (empty without dates), the centroid in image pixels, the RA and Dec offsets,
// the flags, FWHM, HFD, flux and the sky-limited signal-to-noise ratio; frames is what the
// report was computed from.
std::string FramesCsv(const TrackingReport& report, const std::vector<ReportFrame>& frames);

// The periodic-error correction table for the mount: bins equal parts of one worm period,
// each row the bin's start phase, the correction there in arc-seconds at the RA axis (the
// negative of the fold's curve, divided by cos(dec)) and the rate that takes the correction
// to the next bin's, in axis arc-seconds per second; comment lines first give the sign, the
// period and the phase reference. Throws Refusal when the report has no fold or no declination.
std::string PecTableCsv(const TrackingReport& report, int bins);

}  // namespace nuvak
