#pragma once
// Turning 16-bit samples into the 8-bit grey display of a kind 2 document.

#include <cstdint>

#include "core/arrays.h"
#include "core/raster.h"

namespace nuvak {

// The three pictures of a kind 2 document built from its samples: the display with levels
// m and scale s (d = trunc((v - m) / s) clamped to 0 ... 255), the low bytes (v mod 256)
// and the high bytes (v div 256), each in the blue byte.
struct Mono16Pictures {
    Raster display;
    Raster low;
    Raster high;
};
Mono16Pictures BuildMono16Pictures(const IntArray2D& samples, int w, int h, int m, double s);

// Redraws the display of a kind 2 document from its byte planes with levels hi and lo:
// s = (hi - lo) / 255 as a double, d = trunc((v - lo) / s) divided in extended precision,
// 255 from 256 up, 0 below 0. Throws ImageError when hi equals lo.
Raster RenderMono16(const Raster& low, const Raster& high, int hi, int lo);
// The same into a raster the caller holds (resized only when its size differs), as a
// window redraws its display in place.
void RenderMono16(const Raster& low, const Raster& high, int hi, int lo, Raster& out);

}  // namespace nuvak
