#pragma once
// Synthetic sample data: a night's series of 16-bit FITS frames of one star on a noisy sky,
// drifting slowly with a periodic error, and dark frames with hot pixels. Deterministic, so
// that the demo and the checks always see the same numbers.

#include <string>
#include <vector>

#include "core/arrays.h"

namespace nuvak {

struct SampleSeries {
    int width = 320;
    int height = 240;
    int frames = 24;
    int darks = 2;
    double startX = 150.3;        // star centre in the first frame
    double startY = 110.6;
    double driftX = 0.35;         // pixels per frame
    double driftY = -0.2;
    double periodicAmplitude = 1.5;  // pixels, along x
    double periodicFrames = 8;       // period in frames
    double intervalS = 15;           // start-to-start time of the frames (DATE-OBS)
    double exposureS = 10;           // EXPTIME
    std::string declination = "+45 00 00";  // OBJCTDEC
};

// The bytes of a 16-bit FITS file (BZERO 32768) holding samples 0 ... 65535; extra cards
// (80 characters each, see FitsCard) go after the mandatory ones.
std::vector<std::uint8_t> EncodeFits16(const IntArray2D& samples, int w, int h,
                                       const std::vector<std::string>& extraCards = {});

// One header card: the keyword, "= ", the value right-aligned in 20 columns (a string value
// in quotes is left-aligned, as FITS writes strings) and an optional comment.
std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment = "");

// Writes frame01.fits ... and dark1.fits ... into folder (created if missing) and returns
// the frame paths in time order. Throws FileError when a file cannot be written.
std::vector<std::string> WriteSampleSeries(const std::string& folder, const SampleSeries& series = {});

// A short night as a capture program writes a large camera's frames: 16-bit samples under
// BZERO 32768, the exposure start with milliseconds in DATE-OBS, EXPTIME, the optics and the
// camera in FOCALLEN, XPIXSZ, XBINNING, GAIN, CCD-TEMP, INSTRUME, TELESCOP, the target in
// OBJCTRA and OBJCTDEC. One star (FWHM about 3.6 pixels) on a sky with a gentle gradient,
// shot and read noise, drifting slowly with a small periodic error along x; a few hot pixels.
struct CameraNight {
    int width = 6248;
    int height = 4176;
    int frames = 12;
    int compressedFrame = 6;            // this frame (1-based) as a RICE tile-compressed .fits.fz; 0: none
    double intervalS = 31.25;           // start to start: the exposure and the download
    double exposureS = 30;
    double driftX = 0.6, driftY = -0.25;     // pixels per frame
    double periodicAmplitude = 0.8;          // pixels, along x
    double periodicFrames = 8;               // period in frames
    std::string declination = "+45 30 00";   // OBJCTDEC
};

struct CameraNightFiles {
    std::vector<std::string> frames;    // cam001.fits ... in time order (one of them .fits.fz)
    int starX = 0, starY = 0;           // the pixel holding the star's centre in the first frame
};

// Writes the night's frames into folder (created if missing), each atomically: the plain ones
// straight from their row-major bytes, the compressed one through cfitsio. Memory stays about
// one frame's bytes. Throws FileError when a file cannot be written.
CameraNightFiles WriteCameraNight(const std::string& folder, const CameraNight& night = {});

}  // namespace nuvak
