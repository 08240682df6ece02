#include "rgbcomp/hotpixels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace nuvak {

void RemoveHotPixelsRows(double ratio, int w, int h, const IntArray2D& p, IntArray2D& c, int y0, int y1) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, h);
    if (y0 >= y1 || w <= 0) return;
    const std::size_t rows = std::size_t(y1 - y0);
    // Border columns and rows keep their values.
    for (int x : {0, w - 1}) std::memcpy(c[x] + y0, p[x] + y0, rows * sizeof(std::int32_t));
    const int first = std::max(y0, 1), last = std::min(y1, h - 1);  // interior rows of the band
    for (int x = 1; x + 1 < w; ++x) {
        const std::int32_t* l = p[x - 1];
        const std::int32_t* m = p[x];
        const std::int32_t* r = p[x + 1];
        std::int32_t* out = c[x];
        if (y0 < first) out[y0] = m[y0];
        if (last < y1) out[y1 - 1] = m[y1 - 1];
        // Branch-free, so that the compiler runs several rows at once.
        for (int y = first; y < last; ++y) {
            // The smallest of the nine, from 65536; every difference to b = m - 1 is then at least 1.
            const std::int32_t vl = std::min(std::min(l[y - 1], l[y]), l[y + 1]);
            const std::int32_t vm = std::min(std::min(m[y - 1], m[y]), m[y + 1]);
            const std::int32_t vr = std::min(std::min(r[y - 1], r[y]), r[y + 1]);
            const std::int32_t lo = std::min(std::min(vl, vm), std::min(vr, std::int32_t(65536)));
            const double b = double(lo) - 1.0;
            // c / d is largest for the smallest neighbour difference d (all are positive), so
            // "greater than ratio for any neighbour" is decided by that one.
            const std::int32_t nearest = std::min(std::min(l[y], r[y]), std::min(m[y - 1], m[y + 1]));
            const bool hot = (double(m[y]) - b) / (double(nearest) - b) > ratio;
            // The sum of four 32-bit values is exact in a double; x 0.25 and truncation as stated.
            const double mean = (double(l[y]) + double(r[y]) + (double(m[y - 1]) + double(m[y + 1]))) * 0.25;
            const std::int32_t keep = std::int32_t(hot) - 1;  // all ones where the pixel stays
            out[y] = (static_cast<std::int32_t>(mean) & ~keep) | (m[y] & keep);
        }
    }
}

int RemoveHotPixels(double ratio, int w, int h, IntArray2D& c) {
    if (w < 3 || h < 3) return 0;
    IntArray2D p;
    try {
        p = IntArray2D(w, h);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int x = 0; x < w; ++x) std::memcpy(p[x], c[x], std::size_t(h) * sizeof(std::int32_t));
    RemoveHotPixelsRows(ratio, w, h, p, c, 0, h);
    return 0;
}

}  // namespace nuvak
