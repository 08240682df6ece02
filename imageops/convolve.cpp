#include "imageops/convolve.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace nuvak {

int ConvolveKernel(int a, int b, DoubleArray2D& k, int w, int h, IntArray2D& c) {
    double sum = 0;
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) sum += k[i][j];
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) k[i][j] /= sum;
    // Column by column: output column x gathers its taps, tap by tap over the rows they reach,
    // into one column of sums (the same sums, added in the same order per element, as a loop
    // over the taps inside a loop over pixels), which stays in cache. Input column x is read
    // up to output column x + a/2, so the results wait in a ring of a/2 + 1 columns and go
    // back into the channel as soon as no later column reads what they replace.
    const int half = a / 2, ring = half + 1;
    std::vector<double> acc(std::size_t(std::max(h, 0)));
    std::vector<std::int32_t> pending(std::size_t(ring) * acc.size());
    auto slot = [&](int x) { return pending.data() + std::size_t(x % ring) * acc.size(); };
    auto flush = [&](int x) { std::copy_n(slot(x), acc.size(), c[x]); };
    for (int x = 0; x < w; ++x) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int i = 0; i < a; ++i) {
            const int xi = x + i - half;
            if (xi < 0 || xi >= w) continue;
            const std::int32_t* in = c[xi];
            for (int j = 0; j < b; ++j) {
                const double kij = k[i][j];
                if (kij == 0) continue;
                const int dy = j - b / 2;
                for (int y = std::max(0, -dy); y < h && y + dy < h; ++y) acc[y] += kij * in[y + dy];
            }
        }
        std::int32_t* out = slot(x);
        for (int y = 0; y < h; ++y) {
            const double v = std::trunc(acc[y]);
            out[y] = v < 0 ? 0 : static_cast<std::int32_t>(v);
        }
        if (x - half >= 0) flush(x - half);
    }
    for (int x = std::max(0, w - half); x < w; ++x) flush(x);
    return 0;
}

}  // namespace nuvak
