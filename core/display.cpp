#include "core/display.h"

#include <algorithm>
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

}  // namespace

Mono16Pictures BuildMono16Pictures(const IntArray2D& samples, int w, int h, int m, double s) {
    Mono16Pictures out{Raster(w, h), Raster(w, h), Raster(w, h)};
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

Raster RenderMono16(const Raster& low, const Raster& high, int hi, int lo) {
    Raster out;
    RenderMono16(low, high, hi, lo, out);
    return out;
}

void RenderMono16(const Raster& low, const Raster& high, int hi, int lo, Raster& out) {
    if (low.width != high.width || low.height != high.height) throw ImageError("the byte planes differ in size");
    const double s = (hi - lo) * (1.0 / 255);
    if (s == 0) throw ImageError("the upper and lower display levels are equal");
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
