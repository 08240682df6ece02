#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imageops/convolve.h"

namespace nuvak {
namespace {

IntArray2D Channel(int w, int h, unsigned seed, int lo, int hi) {
    std::mt19937 rng(seed);
    IntArray2D c(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) c[x][y] = lo + int(rng() % unsigned(hi - lo + 1));
    return c;
}

DoubleArray2D Kernel(int a, int b, const std::vector<double>& values) {  // values row by row
    DoubleArray2D k(a, b);
    for (int j = 0; j < b; ++j)
        for (int i = 0; i < a; ++i) k[i][j] = values[std::size_t(j) * std::size_t(a) + std::size_t(i)];
    return k;
}

// The convolution pixel by pixel: normalise, sum the taps inside the image, truncate, and
// make negative results 0.
IntArray2D Convolved(int a, int b, const DoubleArray2D& kernel, int w, int h, const IntArray2D& c) {
    double s = 0;
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) s += kernel[i][j];
    IntArray2D out(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            double acc = 0;
            for (int i = 0; i < a; ++i)
                for (int j = 0; j < b; ++j) {
                    const int xi = x + i - a / 2, yj = y + j - b / 2;
                    const double k = kernel[i][j] / s;
                    if (xi >= 0 && xi < w && yj >= 0 && yj < h && k != 0) acc += k * c[xi][yj];
                }
            out[x][y] = std::max(0, int(std::trunc(acc)));
        }
    return out;
}

bool Same(const IntArray2D& p, const IntArray2D& q, int w, int h) {
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            if (p[x][y] != q[x][y]) return false;
    return true;
}

TEST(ConvolveKernel, MatchesTheTapSum) {
    const struct Case {
        const char* what;
        int a, b;
        std::vector<double> k;
        int w, h;
        int lo, hi;
    } cases[] = {
        {"one-element kernel [1]: negatives become 0, values above 255 stay", 1, 1, {1}, 6, 5, -300, 70000},
        {"3 x 3 box on 1 x 1", 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 1, 0, 255},
        {"3 x 3 box on a row", 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 1, 0, 255},
        {"3 x 3 box on a column", 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 9, 0, 255},
        {"weights 1/16, not renormalised at the border", 3, 3, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 7, 6, 0, 65535},
        {"sharpening with negative taps and zeros", 3, 3, {0, -1, 0, -1, 8, -1, 0, -1, 0}, 8, 8, 0, 255},
        {"even 2 x 4 kernel centred at (1, 2)", 2, 4, {1, 3, 0, 2, 5, 1, 0.5, 0.25}, 5, 7, 0, 1000},
        {"5 x 1 streak wider than the image", 5, 1, {1, 1, 1, 1, 1}, 3, 4, 0, 255},
        {"7 x 5 kernel across many columns",
         7,
         5,
         {1, 0, 2, 3, 0, 1, 1, 2, 1, 0, 4, 0, 1, 2, 3, 1, 5, 9, 5, 1, 3, 2, 1, 0, 4, 0, 1, 2, 1, 1, 0, 3, 2, 0, 1},
         15,
         11,
         0,
         255},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        IntArray2D channel = Channel(c.w, c.h, seed++, c.lo, c.hi);
        DoubleArray2D k = Kernel(c.a, c.b, c.k);
        const IntArray2D expected = Convolved(c.a, c.b, k, c.w, c.h, channel);
        EXPECT_EQ(ConvolveKernel(c.a, c.b, k, c.w, c.h, channel), 0);
        EXPECT_TRUE(Same(channel, expected, c.w, c.h)) << c.what;
    }
}

TEST(ConvolveKernel, LeavesTheCallersKernelNormalised) {
    // 1 2 1 / 2 4 2 / 1 2 1 sums to 16: the caller finds its kernel divided by 16, and a second
    // call finds the sum 1 and uses the kernel as it is.
    DoubleArray2D k = Kernel(3, 3, {1, 2, 1, 2, 4, 2, 1, 2, 1});
    IntArray2D c = Channel(6, 6, 5, 0, 255);
    IntArray2D twice = Convolved(3, 3, k, 6, 6, Convolved(3, 3, k, 6, 6, c));
    ConvolveKernel(3, 3, k, 6, 6, c);
    EXPECT_EQ(k[0][0], 1.0 / 16);
    EXPECT_EQ(k[1][1], 4.0 / 16);
    EXPECT_EQ(k[2][1], 2.0 / 16);
    ConvolveKernel(3, 3, k, 6, 6, c);
    EXPECT_EQ(k[1][1], 4.0 / 16);
    EXPECT_TRUE(Same(c, twice, 6, 6));
}

}  // namespace
}  // namespace nuvak
