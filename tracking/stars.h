#pragma once
// Many stars of one field: the bright, unsaturated, isolated stars of a frame, each measured
// through the night as the report measures its one star, and the field's motion solved from
// all of them at once: the common drift, the field's rotation and scale about the frame's
// centre, and the star-to-star scatter that seeing leaves. A synthetic field of known truth
// checks the chain end to end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/progress.h"
#include "tracking/measure.h"
#include "tracking/report.h"
#include "tracking/synthetic.h"

namespace nuvak {

// A star of a frame as FindFieldStars picks it.
struct FieldStar {
    double x = 0, y = 0;  // the sky-subtracted centroid of its core, pixel centres at i + 0.5
    double peak = 0;      // its brightest pixel, before the sky is taken off (a superpixel's sum
                          // on a colour camera's mosaic)
    double fwhmPx = 0;    // full width at half maximum, from the area of its pixels at or above half
                          // its height over the sky
};

// Up to maxStars stars of the frame, read as the run reads it (the settings' darks and noise
// cut; a Bayer mosaic, BAYERPAT or COLORTYP, as 2 x 2 superpixels, as the report measures it,
// with the stars' places and widths in image pixels), brightest peak first, equal peaks in order of y and then x. A
// star is a local maximum more than 10 sky sigmas above the sky (the median and the median absolute deviation of a
// sample of the frame) that
//   - spreads over more than one pixel at half its height (a lone bright pixel is a hot pixel
//     or a cosmic-ray hit, which no centroid can follow);
//   - has no pixel within one FWHM (at least two pixels) that reads 65535 with only the zero
//     offset applied;
//   - lies at least 3 FWHM plus the search range from every edge, so that the star, its sky
//     and the search about it stay on the frame as it drifts;
//   - has no other local maximum more than a tenth of its height over the sky (and 5 sky
//     sigmas) within 4 FWHM or twice the search range, whichever is larger: the search about
//     it never meets a star bright enough to take it over, and no neighbour's light shifts
//     its centroid.
// A frame without such stars gives none; a frame that cannot be read throws as the run does.
// The frame is read bandBytes of rows at a time (one that fits is read once), and about each
// star only the rows it reaches; the stars do not depend on it.
constexpr std::size_t kFieldSearchBandBytes = std::size_t(32) << 20;
std::vector<FieldStar> FindFieldStars(const std::string& frame, const MeasureSettings& settings, int maxStars,
                                      std::size_t bandBytes = kFieldSearchBandBytes);

// Each star measured in every frame as MeasureReportFrames measures a given star (searched
// within the settings' search range about the star, then about its last centroid): result[s][i]
// is star s in frame i. The progress runs once over all stars' frames.
std::vector<std::vector<ReportFrame>> MeasureFieldStars(const std::vector<std::string>& frames,
                                                        const MeasureSettings& settings,
                                                        const std::vector<FieldStar>& stars,
                                                        Progress* progress = nullptr);

// The field's motion from its stars' tracks. Each frame's star positions (x', y') are fitted
// with a turn, a scale and a shift about the frame's centre (cx, cy):
//   x' - cx = a (x - cx) - b (y - cy) + tx,   y' - cy = b (x - cx) + a (y - cy) + ty,
// where (x, y) is the star's place on the reference frame: least squares, each star weighted
// by 1 / (centroidSigmaPx^2 + jitter^2), its offset's variance from its centroid and from the
// seeing that moves every star alike (the pooled scatter below, refined as the fits settle),
// and equal weights in a frame where a star has no centroid sigma. The reference frame is the first
// usable frame with at least three stars found; each star's place on it is the mean of all
// frames' positions of the star brought back onto it by their fits, so that the reference
// frame's own seeing does not enter every other frame's fit. A star a fit leaves more than 6
// sigmas of the scatter away (a star lost to a neighbour or a cosmic ray) is left out of that
// frame, one star of a frame at a time and only while the frame keeps three, and the whole
// fitted again.
struct FieldMotion {
    int referenceFrame = -1;  // the reference frame's index; -1 when no usable frame has three stars
    int stars = 0;            // the stars found on the reference frame, which the solution rests on

    // Per frame, list order; NaN (and a star count of 0) where the frame is not usable or shares
    // no star with the reference frame.
    std::vector<double> dx, dy;       // the common motion in pixels from the reference frame: the
                                      // weighted mean of the stars' offsets once the frame's
                                      // rotation and scale are taken out (tx, ty of the fit); with
                                      // fewer than three stars, the mean of their plain offsets
    std::vector<double> ra, dec;      // the common motion turned onto the sky by the camera
                                      // angle, arc-seconds
    std::vector<double> rotationRad;  // the field's turn from the reference frame, counter-clockwise
                                      // in image x and y: atan2(b, a); NaN with fewer than three stars
    std::vector<double> scale;        // the field's scale against the reference frame: hypot(a, b);
                                      // NaN with fewer than three stars
    std::vector<int> starCount;       // stars the frame's solution used

    // The star-to-star scatter per axis about the fitted motion, pooled over all fitted frames
    // (2 per star less 4 degrees of freedom a frame, less 2 per star and plus 4 for the stars'
    // places on the reference frame), in arc-seconds, with its chi-square interval.
    Figure seeingJitterArcsec;
    // The slope of a weighted straight line through the rotation over time (each frame weighted
    // by how well its fit fixes the turn), degrees per hour, counter-clockwise positive, with its
    // Student's t interval; NaN with fewer than three rotations.
    Figure rotationDegPerHour;
    // The same rate as the motion it gives a star at the frame's corner (half the diagonal from
    // the centre), arc-seconds per minute, signed as the rotation.
    Figure rateArcsecPerMinAtCorner;
};

// Solves the field's motion (see FieldMotion). stars[s][i] is star s in frame i (as
// MeasureFieldStars gives them), t each frame's time in seconds, usable the frames the
// solution may use (their time order and sky already judged by the caller). Throws
// std::invalid_argument when a star's frames, t and usable differ in length.
FieldMotion SolveField(const std::vector<std::vector<ReportFrame>>& stars, const std::vector<double>& t,
                       const std::vector<bool>& usable, int width, int height, double arcsecPerPixel,
                       double cameraAngleDeg);

// The report's frames of a field: each frame the first star's record with its position moved
// to the common motion (from the first star's place on the reference frame), its centroid
// sigma the stars' combined, its flux their sum (so that a cloud dims it) and its widths
// their median; not found where the motion is not solved.
std::vector<ReportFrame> CommonMotionFrames(const std::vector<std::vector<ReportFrame>>& stars,
                                            const FieldMotion& motion);

// The field's figures for the report computed on CommonMotionFrames: the rotation, the
// seeing and the two first-order signs of a polar misalignment.
FieldRotation FieldFigures(const FieldMotion& motion, const TrackingReport& report);

// A night measured as a field: up to maxStars stars found on the first frame, each measured in
// every frame, the field solved over the frames in time order up to the first meridian flip
// (after it the picture is turned about wherever the mount pointed again, and the stars are no
// longer where their search looks), and the report on the common motion with the field's
// figures. The frames from the flip on are lost as after_meridian_flip, with a warning.
// Throws Refusal when the first frame has fewer than 3 stars.
struct FieldNight {
    std::vector<std::vector<ReportFrame>> stars;  // as MeasureFieldStars gives them
    FieldMotion motion;
    std::vector<ReportFrame> common;  // CommonMotionFrames, the frames the report measured
    TrackingReport report;
};
FieldNight MeasureFieldNight(const std::vector<std::string>& frames, const MeasureSettings& settings, int maxStars,
                             const ReportOptions& options);

// A synthetic field: stars at fixed, well-separated places of a frame, all moving together by
// a common drift and the field's rotation about the frame's centre, each besides moved by its
// own random seeing in every frame.
struct FieldOptions {
    int width = 400, height = 300;
    int stars = 10;  // laid out on a grid over the frame, at least 50 pixels from each edge, each
                     // star a little off its cell's centre; brightest first
    std::vector<std::pair<double, double>> places;  // the stars' places on frame 0 instead (then
                                                    // as many stars as places)
    int frames = 20;
    double cadenceS = 60;                           // time between exposure starts
    double exposureS = 5;                           // EXPTIME
    std::string start = "2026-12-08T21:14:05.250";  // DATE-OBS of the first frame

    double arcsecPerPixel = 1.5;
    double focalMm = 1000;      // FOCALLEN; XPIXSZ is the pixel that gives arcsecPerPixel there
    double decDeg = 45;         // OBJCTDEC
    double cameraAngleDeg = 0;  // image x turned onto RA by this angle (for the truth on the sky)

    double driftXPxPerMin = 0.6, driftYPxPerMin = -0.4;  // the common drift on the image
    double rotationDegPerHour = 3;                       // counter-clockwise in image x and y
    double seeingArcsec = 0.3;                           // each star's own offset per axis and frame
                                                         // (standard deviation)

    double fwhmPx = 4;
    double brightestPeak = 20000, faintestPeak = 2000;  // the stars' heights over the sky, ADU:
                                                        // from the first star's to the last's,
                                                        // evenly in their logarithm
    double sky = 1000;                                  // ADU (gain 1)
    double readNoise = 10;                              // ADU

    // More stars at fixed places of frame 0 that move with the field but are not its stars
    // (no seeing, not in the truth): a saturated one, a close pair, one at the edge.
    struct Extra {
        double x = 0, y = 0, peak = 0;  // peak: height over the sky, ADU (beyond 65535 it clips)
    };
    std::vector<Extra> extras;
    // From this frame on (none when negative) the mount has flipped at the meridian: the
    // picture is turned by 180 degrees about its centre, and PIERSIDE turns from EAST to WEST.
    int flipAtFrame = -1;
    // A colour camera's RGGB mosaic (BAYERPAT): each pixel's light through its cell's filter,
    // red 0.45, green 1 and blue 0.3 of it.
    bool bayer = false;
    std::uint64_t seed = 1;
};

// What a field's frames truly hold beside the common motion.
struct FieldTruth {
    std::vector<double> rotationRad;        // per frame, the field's turn from frame 0
    std::vector<std::vector<double>> x, y;  // [star][frame]: each star's true centre, seeing included
};

// Writes the field as field_000.fits ... into folder (which must exist), 16-bit FITS with
// DATE-OBS, EXPTIME, FOCALLEN, XPIXSZ and OBJCTDEC, and returns each frame's truth: t at mid-exposure, x and y the true
// place of the point at frame 0's centre (which the rotation leaves where the drift takes it),
// ra and dec the common motion from frame 0 on the sky. The stars' own truth goes to truth
// when given. Throws FileError when a file cannot be written, std::invalid_argument when
// start is not a date-time.
std::vector<SyntheticFrame> WriteSyntheticField(const std::string& folder, const FieldOptions& options,
                                                FieldTruth* truth = nullptr);

}  // namespace nuvak
