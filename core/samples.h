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

}  // namespace nuvak
