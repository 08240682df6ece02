#pragma once
// The search marker the star pick draws on a display raster.

#include <cstdint>

#include "core/raster.h"

namespace nuvak {

// A line from (x1, y1) up to, not including, (x2, y2), one pixel wide, for horizontal and
// vertical lines; pixels off the raster are skipped. colour is 0xRRGGBB.
void DrawLineExclusive(Raster& r, int x1, int y1, int x2, int y2, std::uint32_t colour);

// The square through (X - h, Y - h), (X + h, Y - h), (X + h, Y + h), (X - h, Y + h) and back,
// and the four ticks of 10 pixels outward from the middle of each side.
void DrawSearchSquare(Raster& r, int x, int y, int h, std::uint32_t colour);

inline constexpr std::uint32_t kMarkerCyan = 0x00FFFF;

}  // namespace nuvak
