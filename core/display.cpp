#include "core/display.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/error.h"

namespace nuvak {

namespace {

constexpr int kTile = 16;

// Display byte of the open command's mapping, for any sample value.
std::uint8_t openDisplayByte(std::int64_t v, int m, double s) {
    const double d = std::trunc(double(v - m) / s);
    if (!(d <= 255)) return d != d ? 0 : 255;
    if (d < 0) return 0;
    return static_cast<std::uint8_t>(d);
}

// Writes the three bytes of a pixel, and on little-endian machines one byte more in the same
// store: the next pixel's first byte, which that pixel then overwrites.
void putPixel(std::uint8_t* p, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint32_t v = b0 | std::uint32_t(b1) << 8 | std::uint32_t(b2) << 16;
        std::memcpy(p, &v, 4);
    } else {
        p[0] = b0;
        p[1] = b1;
        p[2] = b2;
    }
}

}  // namespace

Mono16Pictures BuildMono16Pictures(const IntArray2D& samples, int w, int h, int m, double s) {
    Mono16Pictures out = UnwrittenMono16Pictures(w, h);
    // Every 16-bit sample maps through a table; values outside it are computed directly.
    std::vector<std::uint8_t> table(65536);
    for (int v = 0; v < 65536; ++v) table[v] = openDisplayByte(v, m, s);

    // Tiles of rows, so that the columns of the samples and the rows of the rasters are
    // both walked in order.
    for (int y0 = 0; y0 < h; y0 += kTile) {
        const int y1 = std::min(h, y0 + kTile);
        for (int x = 0; x < w; ++x) {
            const std::int32_t* col = samples[x];
            for (int y = y0; y < y1; ++y) {
                const std::int32_t v = col[y];
                const std::uint8_t d = (v >= 0 && v <= 65535) ? table[v] : openDisplayByte(v, m, s);
                std::uint8_t* dp = out.display.pixel(x, y);
                dp[0] = dp[1] = dp[2] = d;
                std::uint8_t* lp = out.low.pixel(x, y);
                lp[0] = static_cast<std::uint8_t>(v % 256);
                lp[1] = lp[2] = 0;
                std::uint8_t* hp = out.high.pixel(x, y);
                hp[0] = static_cast<std::uint8_t>(v / 256);
                hp[1] = hp[2] = 0;
            }
        }
    }
    return out;
}

Mono16Pictures UnwrittenMono16Pictures(int w, int h) {
    return {Raster(w, h, Raster::Unwritten{}), Raster(w, h, Raster::Unwritten{}), Raster(w, h, Raster::Unwritten{})};
}

Mono16Painter::Mono16Painter(std::span<const std::int32_t> sampleOf, int m, double s) : bytesOf_(65536) {
    for (std::size_t r = 0; r < bytesOf_.size(); ++r) {
        const std::int32_t v = sampleOf[r];
        bytesOf_[r] = openDisplayByte(v, m, s) | std::uint32_t(static_cast<std::uint8_t>(v % 256)) << 8 |
                      std::uint32_t(static_cast<std::uint8_t>(v / 256)) << 16;
    }
}

void Mono16Painter::paint(const std::uint8_t* stored, int y0, int rows, Mono16Pictures& out) const {
    const int w = out.display.width;
    if (w <= 0) return;
    const std::uint32_t* bytesOf = bytesOf_.data();
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* src = stored + std::size_t(r) * std::size_t(w) * 2;
        std::uint8_t* dp = out.display.row(y0 + r);
        std::uint8_t* lp = out.low.row(y0 + r);
        std::uint8_t* hp = out.high.row(y0 + r);
        int x = 0;
        for (; x < w - 1; ++x) {
            const std::uint32_t e = bytesOf[unsigned(src[2 * x]) << 8 | src[2 * x + 1]];
            const std::uint8_t d = static_cast<std::uint8_t>(e);
            putPixel(dp + 3 * x, d, d, d);
            putPixel(lp + 3 * x, static_cast<std::uint8_t>(e >> 8), 0, 0);
            putPixel(hp + 3 * x, static_cast<std::uint8_t>(e >> 16), 0, 0);
        }
        // The last pixel of the row in three bytes, so that nothing is written past the row.
        const std::uint32_t e = bytesOf[unsigned(src[2 * x]) << 8 | src[2 * x + 1]];
        dp[3 * x] = dp[3 * x + 1] = dp[3 * x + 2] = static_cast<std::uint8_t>(e);
        lp[3 * x] = static_cast<std::uint8_t>(e >> 8);
        hp[3 * x] = static_cast<std::uint8_t>(e >> 16);
        lp[3 * x + 1] = lp[3 * x + 2] = hp[3 * x + 1] = hp[3 * x + 2] = 0;
    }
}

Raster RenderMono16(const Raster& low, const Raster& high, int hi, int lo) {
    Raster out;
    RenderMono16(low, high, hi, lo, out);
    return out;
}

void RenderMono16(const Raster& low, const Raster& high, int hi, int lo, Raster& out) {
    if (low.width != high.width || low.height != high.height) throw ImageError(msg::kDisplayPlanesDiffer);
    const double s = (hi - lo) * (1.0 / 255);
    if (s == 0) throw ImageError(msg::kDisplayLevelsEqual);
    std::vector<std::uint8_t> table(65536);
    for (int v = 0; v < 65536; ++v) {
        const long double d = std::trunc(static_cast<long double>(v - lo) / static_cast<long double>(s));
        table[v] = d >= 256 ? 255 : d < 0 ? 0 : static_cast<std::uint8_t>(d);
    }
    const int w = low.width, h = low.height;
    if (out.width != w || out.height != h) out = Raster(w, h);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* l = low.row(y);
        const std::uint8_t* hb = high.row(y);
        std::uint8_t* o = out.row(y);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t d = table[hb[3 * x] << 8 | l[3 * x]];
            o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = d;
        }
    }
}

}  // namespace nuvak
