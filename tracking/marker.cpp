#include "tracking/marker.h"

#include <cstdlib>

namespace nuvak {

namespace {

void put(Raster& r, int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= r.width || y >= r.height) return;
    std::uint8_t* p = r.pixel(x, y);
    p[0] = colour & 0xFF;          // blue
    p[1] = (colour >> 8) & 0xFF;   // green
    p[2] = (colour >> 16) & 0xFF;  // red
}

}  // namespace

void DrawLineExclusive(Raster& r, int x1, int y1, int x2, int y2, std::uint32_t colour) {
    const int dx = x2 > x1 ? 1 : x2 < x1 ? -1 : 0;
    const int dy = y2 > y1 ? 1 : y2 < y1 ? -1 : 0;
    const int steps = std::abs(x2 - x1) > std::abs(y2 - y1) ? std::abs(x2 - x1) : std::abs(y2 - y1);
    for (int k = 0; k < steps; ++k) put(r, x1 + k * dx, y1 + k * dy, colour);
}

void DrawSearchSquare(Raster& r, int x, int y, int h, std::uint32_t colour) {
    DrawLineExclusive(r, x - h, y - h, x + h, y - h, colour);
    DrawLineExclusive(r, x + h, y - h, x + h, y + h, colour);
    DrawLineExclusive(r, x + h, y + h, x - h, y + h, colour);
    DrawLineExclusive(r, x - h, y + h, x - h, y - h, colour);
    DrawLineExclusive(r, x - h - 10, y, x - h, y, colour);
    DrawLineExclusive(r, x + h + 10, y, x + h, y, colour);
    DrawLineExclusive(r, x, y + h, x, y + h + 10, colour);
    DrawLineExclusive(r, x, y - h, x, y - h - 10, colour);
}

}  // namespace nuvak
