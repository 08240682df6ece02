#pragma once
// A 24-bit picture: three bytes per pixel in the order blue, green, red, row 0 at the top,
// rows packed without padding. A new raster is white until written.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nuvak {

struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    Raster() = default;
    Raster(int w, int h) : width(w), height(h), bytes(std::size_t(w) * std::size_t(h) * 3, 255) {}

    bool empty() const { return width <= 0 || height <= 0; }
    std::size_t stride() const { return std::size_t(width) * 3; }
    std::uint8_t* row(int y) { return bytes.data() + std::size_t(y) * stride(); }
    const std::uint8_t* row(int y) const { return bytes.data() + std::size_t(y) * stride(); }
    std::uint8_t* pixel(int x, int y) { return row(y) + std::size_t(x) * 3; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + std::size_t(x) * 3; }

    // Single-pixel colour value as commands use it: blue * 65536 + green * 256 + red.
    std::uint32_t colour(int x, int y) const {
        const std::uint8_t* p = pixel(x, y);
        return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
    }

    friend bool operator==(const Raster&, const Raster&) = default;
};

}  // namespace nuvak
