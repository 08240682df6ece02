#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "core/arrays.h"
#include "core/error.h"
#include "imageops/convolve.h"
#include "imageops/tone.h"
#include "tests/support/rasters.h"

namespace nuvak {
namespace {

Raster Flat(int w, int h, int v) {
    Raster r(w, h);
    std::fill(r.bytes.begin(), r.bytes.end(), std::uint8_t(v));
    return r;
}

// Byte by byte through a formula.
template <class F>
Raster EachByte(Raster r, F f) {
    for (auto& b : r.bytes) b = std::uint8_t(f(b));
    return r;
}

// The long way: three channel arrays, the 4 x 4 kernel of which a 3 x 3 corner takes part,
// the convolution, the clamp.
Raster SolarizedByConvolution(const Raster& src) {
    const int w = src.width, h = src.height;
    Raster out(w, h);
    for (int c = 0; c < 3; ++c) {
        IntArray2D a;
        DoubleArray2D k;
        EXPECT_EQ(AllocIntArray2D(w, h, a) + AllocDoubleArray2D(4, 4, k), 0);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) a[x][y] = src.pixel(x, y)[c];
        k[1][0] = 5, k[1][1] = 5, k[1][2] = -4, k[1][3] = -4;
        ConvolveKernel(3, 3, k, w, h, a);
        ClampArray2D(0, 255, w, h, a);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) out.pixel(x, y)[c] = std::uint8_t(a[x][y]);
    }
    return out;
}

TEST(Tone, MappingsMatchTheirFormulas) {
    const Raster pictures[] = {test::RandomRaster(1, 9, 1), test::RandomRaster(9, 1, 2), test::RandomRaster(2, 2, 3), test::RandomRaster(3, 3, 4), test::RandomRaster(17, 13, 5),
                               Flat(4, 5, 0),   Flat(4, 5, 40),  Flat(4, 5, 60),  Flat(4, 5, 255)};
    for (const Raster& p : pictures) {
        SCOPED_TRACE(testing::Message() << p.width << "x" << p.height << " first byte " << int(p.bytes[0]));
        for (double g : {0.05, 0.45, 1.0, 2.2, 7.0})
            EXPECT_EQ(GammaMapped(p, g), EachByte(p, [g](int v) { return std::trunc(255 * std::pow(double(v * (1.0L / 255)), g)); }));
        EXPECT_EQ(Solarized(p), SolarizedByConvolution(p));
        for (double s : {255.0, 256.0, 128.0, 100.5, 3.0, 1000.0, -77.0})
            EXPECT_EQ(SabattierMapped(p, s), EachByte(p, [s](int v) { return int(std::trunc(std::fmod(v * 256 / s, 256.0))); }));
    }
}

TEST(Tone, KnownValues) {
    Raster all(256, 1);
    for (int v = 0; v < 256; ++v) std::fill_n(all.pixel(v, 0), 3, std::uint8_t(v));
    EXPECT_EQ(GammaMapped(all, 1.0), all);
    EXPECT_EQ(SabattierMapped(all, 256), all);
    EXPECT_EQ(SabattierMapped(all, 255), EachByte(all, [](int v) { return v == 255 ? 0 : v; }));
    EXPECT_EQ(SabattierMapped(all, 128), EachByte(all, [](int v) { return 2 * v; }));  // low 8 bits
    // A flat picture: the inner rows keep v, the top row a sixth, the bottom ten sixths.
    for (int v : {0, 40, 60, 255}) {
        const Raster s = Solarized(Flat(2, 4, v));
        EXPECT_EQ(s.pixel(1, 0)[0], v / 6);
        EXPECT_EQ(s.pixel(1, 1)[2], v);
        EXPECT_EQ(s.pixel(1, 2)[1], v);
        EXPECT_EQ(s.pixel(1, 3)[0], std::min(255, 10 * v / 6));
    }
}

// Every (above, itself, below) triple: row 1 of a three-row picture holds the triples, rows 0
// and 2 every pair at the top and bottom edge. The real sums truncate differently from exact
// sixths in hundreds of triples, so only the convolution itself is a fair reference.
TEST(Tone, SolarizationEqualsTheConvolutionForEveryTriple) {
    Raster p(21846, 3, Raster::Unwritten{});  // 65538 bytes a row
    for (int below = 0; below < 256; ++below) {
        for (std::size_t i = 0; i < p.stride(); ++i)
            p.row(0)[i] = std::uint8_t(i >> 8), p.row(1)[i] = std::uint8_t(i), p.row(2)[i] = std::uint8_t(below);
        ASSERT_EQ(Solarized(p), SolarizedByConvolution(p)) << "below " << below;
    }
}

ImageDocument Document(ImageKind kind) {
    ImageDocument d;
    d.FilterI = kind;
    d.ImageZm = test::RandomRaster(5, 4, 7);
    d.Image = test::RandomRaster(5, 4, 8);
    d.Image1 = test::RandomRaster(5, 4, 9);
    return d;
}

TEST(Tone, CommandsDrawOnTheDisplayFromTheMaster) {
    const ImageDocument before = Document(ImageKind::Colour);
    ImageDocument d = before;
    GammaCommand(d, 2.0);
    GammaCommand(d, 2.0);  // from the master again: still 2.0, not 4.0
    EXPECT_EQ(d.Image, GammaMapped(before.ImageZm, 2.0));
    EXPECT_EQ(d.UndoFlg, 1);
    SolarizeCommand(d);
    EXPECT_EQ(d.Image, Solarized(before.ImageZm));
    SabattierCommand(d, 100);
    EXPECT_EQ(d.Image, SabattierMapped(before.ImageZm, 100));
    EXPECT_EQ(d.ImageZm, before.ImageZm);
    EXPECT_EQ(d.Image1, before.Image1);

    // A display of another size takes the part it shares with the picture, at (0, 0).
    d.Image = test::RandomRaster(3, 6, 10);
    const Raster kept = d.Image;
    SolarizeCommand(d);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(d.Image.colour(x, y), (y < 4 ? Solarized(before.ImageZm) : kept).colour(x, y)) << x << "," << y;

    // Gamma and solarization want an 8-bit colour picture from BMP or JPEG; Sabattier any.
    for (ImageKind kind : {ImageKind::Mono16, ImageKind::PgmColour}) {
        ImageDocument other = Document(kind);
        GammaCommand(other, 2.0);
        SolarizeCommand(other);
        EXPECT_EQ(other.Image, before.Image);
        EXPECT_EQ(other.UndoFlg, 0);
        SabattierCommand(other, 100);
        EXPECT_EQ(other.Image, SabattierMapped(before.ImageZm, 100));
    }
}

TEST(Tone, UnusableParametersRefuseBeforeAnyChange) {
    const ImageDocument before = Document(ImageKind::Colour);
    for (double gamma : {0.0, -1.0}) {
        ImageDocument d = before;
        EXPECT_THROW(GammaCommand(d, gamma), ImageError);
        EXPECT_TRUE(d.Image == before.Image && d.UndoFlg == 0);
    }
    for (double step : {0.0, -0.0, 1e-310}) {
        ImageDocument d = before;
        EXPECT_THROW(SabattierCommand(d, step), ImageError);
        EXPECT_TRUE(d.Image == before.Image && d.UndoFlg == 0);
    }
}

}  // namespace
}  // namespace nuvak
