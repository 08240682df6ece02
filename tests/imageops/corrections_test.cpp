#include "imageops/corrections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/error.h"
#include "imageops/tone.h"

namespace nuvak {
namespace {

using Grid = std::vector<std::vector<int>>;          // [x][y]
using Kernel = std::vector<std::vector<double>>;     // [i][j]

Kernel KernelOf(const DoubleArray2D& k) {
    Kernel out(k.width(), std::vector<double>(k.height()));
    for (int i = 0; i < k.width(); ++i)
        for (int j = 0; j < k.height(); ++j) out[i][j] = k[i][j];
    return out;
}
DoubleArray2D ArrayOf(const Kernel& k) {
    DoubleArray2D out(int(k.size()), int(k[0].size()));
    for (int i = 0; i < out.width(); ++i)
        for (int j = 0; j < out.height(); ++j) out[i][j] = k[i][j];
    return out;
}
Grid GridOf(const IntArray2D& c) {
    Grid g(c.width(), std::vector<int>(c.height()));
    for (int x = 0; x < c.width(); ++x)
        for (int y = 0; y < c.height(); ++y) g[x][y] = c[x][y];
    return g;
}
IntArray2D ArrayOf(const Grid& g) {
    IntArray2D out(int(g.size()), int(g[0].size()));
    for (int x = 0; x < out.width(); ++x)
        for (int y = 0; y < out.height(); ++y) out[x][y] = g[x][y];
    return out;
}

void SlowRotate(double theta, int a, int b, Kernel& k) {
    const double phi = theta * 3.1415926 * (1.0 / 180);
    Kernel t(2 * a, std::vector<double>(2 * b));
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) t[int(a * 0.5 + i)][int(b * 0.5 + j)] = k[i][j];
    for (int q = int(a * 0.5); q < 1.5 * a; ++q)
        for (int s = int(b * 0.5); s < 1.5 * b; ++s) {
            const double dx = q - a, dy = s - b;
            const double sx = std::cos(phi) * dx - std::sin(phi) * dy + a;
            const double sy = std::sin(phi) * dx + std::cos(phi) * dy + b;
            const int ix = int(sx), iy = int(sy);
            const double fx = sx - ix, fy = sy - iy;
            if (ix > 0 && iy > 0 && ix < 2 * a && iy < 2 * b)
                k[int(q - a * 0.5)][int(s - b * 0.5)] = fx * fy * t[ix][iy] + fy * (1 - fx) * t[ix - 1][iy] +
                                                        fx * (1 - fy) * t[ix][iy - 1] +
                                                        (1 - fx) * (1 - fy) * t[ix - 1][iy - 1];
        }
}

// Pixel by pixel: shift 0 and no threshold is the plain convolution, shift 1 with a threshold
// the thresholded one.
void SlowConvolve(int a, int b, Kernel& k, int w, int h, Grid& c, int shift, bool thresholded, int t) {
    double s = 0;
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) s += k[i][j];
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) k[i][j] /= s;
    std::vector<std::vector<double>> acc(w, std::vector<double>(h));
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            if (thresholded && c[x][y] >= t) {
                acc[x][y] = c[x][y];
                continue;
            }
            for (int i = 0; i < a; ++i)
                for (int j = 0; j < b; ++j) {
                    const int xi = x + i - a / 2 + shift, yj = y + j - b / 2 + shift;
                    if (xi >= 0 && xi < w && yj >= 0 && yj < h && k[i][j] != 0) acc[x][y] += k[i][j] * c[xi][yj];
                }
        }
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const double v = std::trunc(acc[x][y]);
            c[x][y] = v < 0 ? 0 : int(v);
        }
}

void Clamp255(Grid& c) {
    for (auto& col : c)
        for (int& v : col) v = std::clamp(v, 0, 255);
}

// The canceller read pixel by pixel through colour values.
Raster SlowGuideMiss(const Raster& image, const GuideMissSettings& s) {
    const int m = std::max(1, s.flow), a = 2 * m + 3, w = image.width, h = image.height;
    Kernel k(a, std::vector<double>(a));
    k[0][2 * m] = -1;
    k[2 * m][2 * m] = 3;
    k[2 * m + 2][2 * m] = -1;
    SlowRotate(s.direction, a, a, k);
    Grid r(w, std::vector<int>(h)), g = r, b = r;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const std::uint32_t c = image.colour(x, y);
            b[x][y] = int(c >> 16 & 255);
            g[x][y] = int(c >> 8 & 255);
            r[x][y] = int(c & 255);
        }
    for (Grid* ch : {&r, &g, &b}) {
        SlowConvolve(a, a, k, w, h, *ch, 0, false, 0);
        Clamp255(*ch);
    }
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < a; ++j)
            k[i][j] = std::exp(-(i - 2 * m) * (i - 2 * m) / (s.blur * s.blur) -
                               (j - 2 * m) * (j - 2 * m) / (s.blur * s.blur));
    for (Grid* ch : {&r, &g, &b}) {
        SlowConvolve(a, a, k, w, h, *ch, 1, true, s.threshold);
        Clamp255(*ch);
    }
    Raster out(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            std::uint8_t* p = out.pixel(x, y);
            p[0] = std::uint8_t(b[x][y]);
            p[1] = std::uint8_t(g[x][y]);
            p[2] = std::uint8_t(r[x][y]);
        }
    return out;
}

Raster RandomRaster(int w, int h, unsigned seed, int flat = -1) {
    std::mt19937 rng(seed);
    Raster out(w, h);
    for (auto& v : out.bytes) v = std::uint8_t(flat >= 0 ? flat : int(rng() % 256));
    return out;
}

Kernel RandomKernel(int a, int b, unsigned seed) {
    std::mt19937 rng(seed);
    Kernel k(a, std::vector<double>(b));
    for (auto& col : k)
        for (double& v : col) v = std::uniform_real_distribution<double>(-0.5, 1.5)(rng);
    return k;
}

TEST(Corrections, RotateKernelMatchesTheRule) {
    const std::pair<int, int> sizes[] = {{3, 3}, {5, 5}, {9, 9}, {4, 6}, {5, 4}};
    for (const auto& [a, b] : sizes)
        for (const double theta : {0.0, 30.0, 90.0, 135.0, -45.0, 200.0}) {
            Kernel expected = RandomKernel(a, b, unsigned(a * b));
            DoubleArray2D k = ArrayOf(expected);
            const Kernel before = expected;
            SlowRotate(theta, a, b, expected);
            RotateKernel(theta, a, b, k);
            EXPECT_EQ(KernelOf(k), expected) << a << " x " << b << " " << theta;
            if (theta == 0 && a % 2 == 1 && b % 2 == 1) {
                EXPECT_EQ(KernelOf(k), before) << a;  // odd sides come back unchanged
            }
        }
    // A quarter turn stands the line of taps -1, 3, -1 upright.
    DoubleArray2D k(5, 5);
    k[0][2] = -1;
    k[2][2] = 3;
    k[4][2] = -1;
    RotateKernel(90, 5, 5, k);
    EXPECT_NEAR(k[2][0], -1, 1e-6);
    EXPECT_NEAR(k[2][2], 3, 1e-6);
    EXPECT_NEAR(k[2][4], -1, 1e-6);
    EXPECT_NEAR(k[0][2], 0, 1e-6);
}

TEST(Corrections, ConvolveKernelBelowMatchesTheRule) {
    struct Case {
        int w, h, a, b, t, flat;
    };
    const Case cases[] = {
        {1, 9, 3, 3, 128, -1}, {9, 1, 3, 3, 128, -1}, {2, 2, 3, 3, 256, -1},  {3, 3, 5, 5, 256, -1},
        {17, 11, 3, 3, 128, -1}, {70, 67, 5, 4, 200, -1}, {13, 9, 7, 7, 0, -1}, {8, 8, 5, 5, 41, 40},
        {8, 8, 5, 5, 40, 40},    {140, 3, 3, 3, 256, -1}, {6, 150, 5, 5, 256, -1}, {5, 200, 9, 9, 180, -1},
    };
    unsigned seed = 0;
    for (const Case& c : cases) {
        ++seed;
        const Raster source = RandomRaster(c.w, c.h, seed, c.flat);
        Grid expected(c.w, std::vector<int>(c.h));
        for (int x = 0; x < c.w; ++x)
            for (int y = 0; y < c.h; ++y) expected[x][y] = source.pixel(x, y)[1] - (seed % 3 == 0 ? 60 : 0);
        IntArray2D channel = ArrayOf(expected);
        Kernel kernel = RandomKernel(c.a, c.b, seed);
        kernel[c.a / 2][0] = 0;  // a tap that is skipped
        DoubleArray2D k = ArrayOf(kernel);
        SlowConvolve(c.a, c.b, kernel, c.w, c.h, expected, 1, true, c.t);
        EXPECT_EQ(ConvolveKernelBelow(c.t, c.a, c.b, k, c.w, c.h, channel), 0);
        EXPECT_EQ(GridOf(channel), expected) << c.w << " x " << c.h << " t " << c.t;
        EXPECT_EQ(KernelOf(k), kernel);  // normalised in place
    }
}

struct Recorder : Progress {
    std::vector<int> positions;
    void setPosition(int p) override { positions.push_back(p); }
};

TEST(Corrections, GuideMissCancellerMatchesThePixelRule) {
    struct Case {
        int w, h, direction, flow;
        double blur;
        int threshold, flat;
    };
    const Case cases[] = {
        {12, 10, 0, 1, 0.2, 0, -1},   {12, 10, 0, 1, 1.5, 256, -1}, {1, 9, 30, 1, 0.7, 200, -1},
        {9, 1, 90, 1, 0.7, 200, -1},  {2, 2, 45, 1, 1.0, 256, -1},  {7, 7, 0, 2, 1.0, 256, -1},
        {40, 70, 30, 2, 0.8, 120, -1}, {33, 29, 200, 0, 2.0, 90, -1}, {10, 10, 0, 1, 1.0, 100, 60},
        {10, 10, 0, 1, 0.2, 0, 255},  {7, 140, 30, 1, 1.0, 256, -1}, {11, 150, 60, 4, 1.2, 150, -1},
    };
    unsigned seed = 100;
    for (const Case& c : cases) {
        ImageDocument d;
        d.Image = RandomRaster(c.w, c.h, ++seed, c.flat);
        d.ImageZm = RandomRaster(c.w, c.h, seed + 1000);
        const Raster master = d.ImageZm;
        const GuideMissSettings s{c.direction, c.flow, c.blur, c.threshold, true};
        const Raster expected = SlowGuideMiss(d.Image, s);
        Recorder progress;
        GuideMissCancelCommand(d, s, progress);
        EXPECT_EQ(d.Image, expected) << c.w << " x " << c.h << " direction " << c.direction;
        EXPECT_EQ(d.ImageZm, master);
        EXPECT_EQ(d.UndoFlg, 0);
        ASSERT_FALSE(progress.positions.empty());
        EXPECT_EQ(progress.positions.back(), 0);
        EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end() - 1));
        EXPECT_EQ(progress.positions.end()[-2], 100);
    }
}

TEST(Corrections, GuideMissCancellerRefusals) {
    ImageDocument d;
    d.Image = RandomRaster(6, 6, 7);
    const Raster before = d.Image;
    Progress none;
    GuideMissCancelCommand(d, GuideMissSettings{}, none);  // panel never confirmed
    EXPECT_EQ(d.Image, before);
    EXPECT_THROW(GuideMissCancelCommand(d, GuideMissSettings{0, 1, 0.0, 0, true}, none), ImageError);
    EXPECT_THROW(GuideMissCancelCommand(d, GuideMissSettings{0, 1 << 25, 0.2, 0, true}, none), ImageError);
    EXPECT_EQ(d.Image, before);
    // A kernel (side 2 flow + 3) wider or higher than the picture is refused; flow 1 always runs.
    struct Case {
        int w, h, flow;
        bool refused;
    };
    for (const Case c : {Case{6, 6, 2, true}, Case{7, 7, 2, false}, Case{7, 6, 2, true}, Case{6, 7, 2, true},
                         Case{2, 2, 1, false}, Case{1, 9, 0, false}, Case{2000, 3, 1000, true}}) {
        ImageDocument small;
        small.Image = RandomRaster(c.w, c.h, 9);
        const Raster original = small.Image;
        bool refused = false;
        try {
            GuideMissCancelCommand(small, GuideMissSettings{0, c.flow, 0.2, 0, true}, none);
        } catch (const ImageError& e) {
            refused = true;
            EXPECT_NE(std::string(e.what()).find(std::to_string(2 * c.flow + 3)), std::string::npos) << e.what();
        }
        EXPECT_EQ(refused, c.refused) << c.w << " x " << c.h << " flow " << c.flow;
        if (refused) {
            EXPECT_EQ(small.Image, original);
        }
    }
}

TEST(Corrections, ComaCorrectionShowsTheGammaMappedMaster) {
    ImageDocument d;
    d.FilterI = ImageKind::Mono16;
    d.ImageZm = RandomRaster(5, 4, 3);
    d.Image = RandomRaster(5, 4, 4);
    d.Image1 = Raster(1, 1);
    const ImageDocument mono = d;
    ComaCorrectCommand(d, 10, 20, 1.5, 2.0);  // only kind 1 documents
    EXPECT_EQ(d.Image, mono.Image);
    EXPECT_EQ(d.UndoFlg, 0);

    d.FilterI = ImageKind::Colour;
    EXPECT_THROW(ComaCorrectCommand(d, 0, 0, 0, 0.0), ImageError);
    EXPECT_EQ(d.Image, mono.Image);
    ComaCorrectCommand(d, 0, 0, 0, 1.0);
    EXPECT_EQ(d.Image, d.ImageZm);
    ComaCorrectCommand(d, 0, 0, 0, 2.2);
    EXPECT_EQ(d.Image, GammaMapped(mono.ImageZm, 2.2));
    EXPECT_EQ(d.ImageZm, mono.ImageZm);
    EXPECT_EQ(d.Image1, mono.Image1);
    EXPECT_EQ(d.UndoFlg, 1);

    d.FilterI.reset();  // never filled: the kind reads as a conversion error
    EXPECT_THROW(ComaCorrectCommand(d, 0, 0, 0, 1.0), ConversionError);
}

}  // namespace
}  // namespace nuvak
