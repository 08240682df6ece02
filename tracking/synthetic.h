#pragma once
// Synthetic frame sequences with a known truth: a circular Gaussian star on a noisy sky that
// drifts in RA and Dec, wanders with a sinusoidal periodic error in RA and a little random
// wander on both axes, seen through a turned camera, on an uneven time axis with a gap, with
// one saturated and one lost (clouded) frame. The frames are 16-bit FITS files as a camera
// writes them (BITPIX 16, BZERO 32768, DATE-OBS, EXPTIME, OBJCTDEC), so that the tracking
// report can be checked end to end against the truth.

#include <cstdint>
#include <string>
#include <vector>

namespace nuvak {

// Instants across an exposure that a smeared frame averages.
inline constexpr int kSmearSteps = 32;

struct SyntheticOptions {
    int width = 200, height = 200;  // frame size in pixels
    int frames = 120;
    double cadenceS = 20;                           // mean time between exposure starts
    double jitterS = 3;                             // each start moves uniformly within +-jitterS
    int gapAfter = 70;                              // frames after which the gap falls (-1: no gap)
    double gapS = 300;                              // extra time of the gap
    double exposureS = 5;                           // EXPTIME
    std::string start = "2026-12-08T21:14:05.250";  // DATE-OBS of the first frame

    double arcsecPerPixel = 1.5;
    double cameraAngleDeg = 0;  // image x turned onto RA by this angle
    double decDeg = 45.5;       // OBJCTDEC

    double fwhmPx = 4;      // full width at half maximum of the star
    double peakSnr = 50;    // star peak over the noise at the peak
    double sky = 1000;      // sky level, ADU (gain 1)
    double readNoise = 10;  // ADU

    double driftRa = 0.8, driftDec = 1.5;  // arc-seconds per minute
    double pePeriodS = 480;                // periodic error in RA: period,
    double pePeakToPeak = 7;               // peak-to-peak size (arc-seconds)
    double pePhase = 0;                    // and phase (radians): PE = pp / 2 sin(2 pi t / P + phase)
    double pe2PeakToPeak = 0;              // its second harmonic (period P / 2): peak to peak
    double pe2Phase = 0;                   // and phase: pp2 / 2 sin(4 pi t / P + phase2)
    bool smear = false;                    // the star moves during the exposure: each frame is the mean
                                           // of the star at kSmearSteps instants across EXPTIME (else it
                                           // stands where it is at mid-exposure)
    double wanderArcsec = 0.3;             // white random wander per axis (standard deviation)

    // Confounders (-1: none): from ditherFrame on the star stands ditherPx further along both
    // image axes (a dither; the truth's ra and dec leave it out); in cloudFrame its light is cut
    // to cloudShare; backwardFrame starts backwardS before the frame before it.
    int ditherFrame = -1;
    double ditherPx = 12;
    int cloudFrame = -1;
    double cloudShare = 0.3;
    int backwardFrame = -1;
    double backwardS = 30;
    // With polar set: a polar axis polarAltArcmin above and polarAzArcmin east of the pole at
    // the site, for a star at raHours, adds its declination drift (to first order) to driftDec,
    // and the frames carry SITELAT, SITELONG and OBJCTRA.
    bool polar = false;
    double polarAltArcmin = 0, polarAzArcmin = 0;
    double siteLatDeg = 35, siteLonDeg = 139;  // longitude east positive
    double raHours = 0;

    int saturatedFrame = 20;  // the star clipped at 65535 in this frame (-1: none)
    int lostFrame = 50;       // no star in this frame (-1: none)
    std::uint64_t seed = 1;
};

// The truth of one frame, at mid-exposure.
struct SyntheticFrame {
    std::string path;
    double t = 0;            // mid-exposure, seconds from the first frame's
    double ra = 0, dec = 0;  // true offset on the sky from frame 0, arc-seconds
    double x = 0, y = 0;     // true star centre in image pixels (centres at i + 0.5)
    bool saturated = false;
    bool lost = false;
};

// Writes the sequence as frame_000.fits ... into folder (which must exist) and returns each
// frame's truth. Throws FileError when a file cannot be written.
std::vector<SyntheticFrame> WriteSyntheticSequence(const std::string& folder, const SyntheticOptions& options);

// A 16-bit FITS file of w x h samples (values 0 ... 65535, v[x * h + y], y in row order) with
// BZERO 32768 and the given extra header cards ("KEYWORD", value already in FITS form).
void WriteFits16(const std::string& path, int w, int h, const std::vector<std::uint16_t>& v,
                 const std::vector<std::pair<std::string, std::string>>& cards);

}  // namespace nuvak
