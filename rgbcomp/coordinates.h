#pragma once
// The coordinate windows of the RGB composite workbench: a FITS frame shown in grey with a
// fixed stretch, as a 16-bit document whose pointer read-out gives the star positions the
// user types into the workbench.

#include <iosfwd>
#include <string>

#include "core/arrays.h"
#include "core/document.h"

namespace nuvak {

struct CoordinateFrame {
    ImageDocument document;  // kind 2, caption the file name
    double mean = 0;         // mean of the sampled pixels (the main window's upper level field)
    int minimum = 0;         // smallest sampled pixel (its lower level field)
};

// The samples (after the zero offset) of a w x h frame as a coordinate window's document.
// The sample grid is x = 10, 14, 18, ... below w - 10 and likewise for y; a frame of 20
// pixels or less on a side has no grid point and then samples every pixel. The display is
// d = trunc((v - minimum) * 50 / (mean - minimum)) clamped to 0 ... 255, grey; on a flat grid
// (mean = minimum) the divisor is 1, so that the sky is black and anything above it shows.
// ImageZm and ImageZm2 hold v mod 256 and v div 256 in the blue byte, Average the mean,
// Minimum the minimum, MAX trunc(mean), MIN the minimum, ColN 1, ZomN 1, UndoFlg 0.
CoordinateFrame CoordinateFrameOf(const IntArray2D& samples, int w, int h, const std::string& caption);

// Reads a frame with ReadFitsHeader and ReadFits, applies the zero offset 32768 and makes
// its document (caption the file name). Throws FileError for a file that cannot be read.
CoordinateFrame ReadCoordinateFrame(const std::string& path, std::ostream* diag = nullptr);

}  // namespace nuvak
