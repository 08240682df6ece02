#include "imageops/convolve.h"

#include <cmath>

namespace nuvak {

int ConvolveKernel(int a, int b, DoubleArray2D& k, int w, int h, IntArray2D& c) {
    double sum = 0;
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) sum += k[i][j];
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) k[i][j] /= sum;
    DoubleArray2D acc(w, h);
    // Tap by tap, each over the columns and rows it reaches inside the image: the same sums,
    // added in the same order per element as a loop over the taps inside a loop over pixels.
    for (int i = 0; i < a; ++i) {
        for (int j = 0; j < b; ++j) {
            const double kij = k[i][j];
            if (kij == 0) continue;
            const int dx = i - a / 2, dy = j - b / 2;
            for (int x = std::max(0, -dx); x < w && x + dx < w; ++x) {
                double* out = acc[x];
                const std::int32_t* in = c[x + dx];
                for (int y = std::max(0, -dy); y < h && y + dy < h; ++y) out[y] += kij * in[y + dy];
            }
        }
    }
    for (int x = 0; x < w; ++x) {
        const double* in = acc[x];
        std::int32_t* out = c[x];
        for (int y = 0; y < h; ++y) {
            const double v = std::trunc(in[y]);
            out[y] = v < 0 ? 0 : static_cast<std::int32_t>(v);
        }
    }
    return 0;
}

}  // namespace nuvak
