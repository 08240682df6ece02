#include "rgbcomp/colour.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/blooming.h"

namespace nuvak {

namespace {

constexpr double kToneScale = 200.0;

// The tone of one channel value, clamped to the output range.
std::uint8_t Tone(std::int32_t c, double background, double factor, double k, int bgl) {
    double v = (c - background) / factor * k + bgl;
    if (!(v >= 0)) v = 0;  // also a value that is not a number
    v = std::atan(v / kToneScale) * kToneScale;
    return static_cast<std::uint8_t>(std::min(std::trunc(v), 255.0));
}

}  // namespace

int RemoveBackgroundSlope(int w, int h, IntArray2D& c) {
    const int bw = w / 15, bh = h / 15;
    if (bw <= 0 || bh <= 0) return 0;
    struct Region {
        int x0, y0;
    };
    const Region regions[4] = {{w / 10, h / 2}, {9 * w / 10, h / 2}, {w / 2, h / 10}, {w / 2, 9 * h / 10}};
    // A radius-2 median exists for 2 < x < w - 2 and 2 < y < h - 2.
    for (const Region& r : regions)
        if (r.x0 <= 2 || r.y0 <= 2 || r.x0 + bw - 1 >= w - 2 || r.y0 + bh - 1 >= h - 2) return 0;

    double m[4];
    for (int i = 0; i < 4; ++i) {
        m[i] = 65535.0;
        for (int x = regions[i].x0; x < regions[i].x0 + bw; ++x)
            for (int y = regions[i].y0; y < regions[i].y0 + bh; ++y) {
                std::int32_t median = 0;
                NeighbourhoodMedian(2, w, h, x, y, c, median);
                m[i] = std::min(m[i], double(median));
            }
    }
    const double gx = (m[0] - m[1]) / w, gy = (m[2] - m[3]) / h;
    constexpr double lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = c[x];
        const double dx = x * gx;
        for (int y = 0; y < h; ++y) col[y] = static_cast<std::int32_t>(std::clamp(dx + col[y] + y * gy, lo, hi));
    }
    return 0;
}

double BackgroundMean(int w, int h, int bx, int by, const IntArray2D& c) {
    std::int64_t sum = 0;
    int count = 0;
    for (int x = std::max(bx - 5, 0); x <= std::min(bx + 5, w - 1); ++x)
        for (int y = std::max(by - 5, 0); y <= std::min(by + 5, h - 1); ++y) {
            sum += c[x][y];
            ++count;
        }
    if (count == 121) return double(sum) * (1.0 / 121);
    return count > 0 ? double(sum) / count : 0.0;
}

void ToneChannel(double background, double factor, double k, int bgl, int w, int h, IntArray2D& c) {
    std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = c[x];
        for (int y = 0; y < h; ++y) {
            lo = std::min(lo, col[y]);
            hi = std::max(hi, col[y]);
        }
    }
    if (lo > hi) return;
    // The tone depends on the value alone: a table over the values present, unless there are
    // more of them than pixels.
    const std::int64_t span = std::int64_t(hi) - lo + 1;
    if (span <= std::max<std::int64_t>(65536, std::int64_t(w) * h)) {
        std::vector<std::uint8_t> table(static_cast<std::size_t>(span));
        for (std::int64_t i = 0; i < span; ++i)
            table[std::size_t(i)] = Tone(static_cast<std::int32_t>(lo + i), background, factor, k, bgl);
        for (int x = 0; x < w; ++x) {
            std::int32_t* col = c[x];
            for (int y = 0; y < h; ++y) col[y] = table[std::size_t(std::int64_t(col[y]) - lo)];
        }
        return;
    }
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = c[x];
        for (int y = 0; y < h; ++y) col[y] = Tone(col[y], background, factor, k, bgl);
    }
}

Raster ColourRaster(int w, int h, const IntArray2D& r, const IntArray2D& g, const IntArray2D& b) {
    Raster out(w, h, Raster::Unwritten{});
    JoinChannels(b, g, r, out);
    return out;
}

}  // namespace nuvak
