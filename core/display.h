#pragma once
// Turning 16-bit samples into the 8-bit grey display of a kind 2 document.

#include <cstdint>
#include <span>
#include <vector>

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

// Three W x H pictures whose bytes are all still to be written, as Mono16Painter does.
Mono16Pictures UnwrittenMono16Pictures(int w, int h);

// The same pictures painted straight from stored samples, a band of rows at a time: rows of
// big-endian 16-bit values, W to a row, top row first, where stored value r stands for the
// sample sampleOf[r]. Every byte comes out as BuildMono16Pictures makes it from those samples.
class Mono16Painter {
public:
    // sampleOf holds 65536 values; m and s as BuildMono16Pictures takes them.
    Mono16Painter(std::span<const std::int32_t> sampleOf, int m, double s);

    // Writes rows y0 .. y0 + rows - 1 of the pictures (all three W x H) from rows * W * 2
    // stored bytes.
    void paint(const std::uint8_t* stored, int y0, int rows, Mono16Pictures& out) const;

private:
    // Per stored value: display byte, low byte << 8, high byte << 16.
    std::vector<std::uint32_t> bytesOf_;
};

// Redraws the display of a kind 2 document from its byte planes with levels hi and lo:
// s = (hi - lo) / 255 as a double, d = trunc((v - lo) / s) divided in extended precision,
// 255 from 256 up, 0 below 0. Throws ImageError when hi equals lo.
Raster RenderMono16(const Raster& low, const Raster& high, int hi, int lo);
// The same into a raster the caller holds (resized only when its size differs), as a
// window redraws its display in place.
void RenderMono16(const Raster& low, const Raster& high, int hi, int lo, Raster& out);

}  // namespace nuvak
