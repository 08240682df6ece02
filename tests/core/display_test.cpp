#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/display.h"
#include "core/fits.h"
#include "core/open.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

// The three pictures pixel by pixel, the obvious way: what every faster path must equal.
Mono16Pictures Plain(const std::vector<std::int32_t>& v, int w, int h, int m, double s) {
    Mono16Pictures p{Raster(w, h), Raster(w, h), Raster(w, h)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::int32_t value = v[std::size_t(y) * w + x];
            const double d = std::trunc(double(std::int64_t(value) - m) / s);
            const std::uint8_t shown = d != d ? 0 : d > 255 ? 255 : d < 0 ? 0 : std::uint8_t(d);
            std::uint8_t *dp = p.display.pixel(x, y), *lp = p.low.pixel(x, y), *hp = p.high.pixel(x, y);
            dp[0] = dp[1] = dp[2] = shown;
            lp[0] = std::uint8_t(value % 256), hp[0] = std::uint8_t(value / 256);
            lp[1] = lp[2] = hp[1] = hp[2] = 0;
        }
    }
    return p;
}

void ExpectSame(const Mono16Pictures& got, const Mono16Pictures& want, const std::string& what) {
    EXPECT_TRUE(got.display == want.display) << what << ": display";
    EXPECT_TRUE(got.low == want.low) << what << ": low bytes";
    EXPECT_TRUE(got.high == want.high) << what << ": high bytes";
}

TEST(Mono16Pictures, PaintedAndBuiltPicturesEqualThePlainLoop) {
    std::mt19937 rng(11);
    // Stored values stand for samples from the zero offset, or for any 32-bit value at all:
    // negative ones, ones beyond 16 bits, the extremes.
    std::vector<std::int32_t> anyValue(65536);
    for (auto& a : anyValue) a = std::int32_t(rng() % 400000) - 200000;
    anyValue[7] = std::numeric_limits<std::int32_t>::min();
    anyValue[8] = std::numeric_limits<std::int32_t>::max();
    const struct {
        int w, h;
        std::vector<std::int32_t> sampleOf;
        int m;
        double s;
    } rows[] = {
        {1, 1, FitsSampleValues(32768), 0, 1.0},      {1, 37, FitsSampleValues(32768), 100, 0.5},
        {53, 1, FitsSampleValues(0), 30000, 100.0},   {7, 5, FitsSampleValues(70000), 90000, 300.0},
        {33, 17, anyValue, -1000, 7.3},               {64, 9, anyValue, 0, 1e-3},
        {19, 23, FitsSampleValues(-32768), 40000, 0.0},
    };
    for (const auto& r : rows) {
        const std::string what = std::to_string(r.w) + " x " + std::to_string(r.h);
        std::vector<std::uint8_t> stored(std::size_t(r.w) * r.h * 2);
        for (std::uint8_t& b : stored) b = std::uint8_t(rng());
        stored[0] = 0, stored[1] = 7;  // the lowest sample of anyValue
        std::vector<std::int32_t> v(std::size_t(r.w) * r.h);
        IntArray2D samples(r.w, r.h);
        for (int y = 0; y < r.h; ++y)
            for (int x = 0; x < r.w; ++x) {
                const std::size_t i = std::size_t(y) * r.w + x;
                samples[x][y] = v[i] = r.sampleOf[std::size_t(stored[2 * i]) << 8 | stored[2 * i + 1]];
            }
        const Mono16Pictures want = Plain(v, r.w, r.h, r.m, r.s);

        // Bands of uneven height, as a reader hands them on.
        Mono16Pictures painted = UnwrittenMono16Pictures(r.w, r.h);
        const Mono16Painter painter(r.sampleOf, r.m, r.s);
        for (int y0 = 0, band = 1; y0 < r.h; y0 += band, band = 1 + int(rng() % 5))
            painter.paint(stored.data() + std::size_t(y0) * r.w * 2, y0, std::min(band, r.h - y0), painted);
        ExpectSame(painted, want, what + " painted");
        ExpectSame(BuildMono16Pictures(samples, r.w, r.h, r.m, r.s), want, what + " built");
    }
}

TEST(Mono16Pictures, OpenedDocumentEqualsTheReadSamplesShown) {
    // Sizes that fill several read bands (the grid rows falling on both sides of band edges),
    // odd ones, and a zero offset that leaves 16 bits.
    const struct {
        int w, h;
        std::string bzero;
    } rows[] = {{100, 6000, "32768"}, {9000, 70, "32768"}, {25, 23, "0"}, {33, 97, "70000"}};
    std::mt19937 rng(5);
    for (const auto& r : rows) {
        const test::Bytes file = test::FitsBuilder::Image16(r.w, r.h, r.bzero)
                                     .samples(r.w, r.h, [&](int, int) { return std::uint16_t(rng()); })
                                     .bytes();
        MemorySource source("f.fits", file);
        const OpenedFits opened = OpenFitsDocument(source);
        MemorySource again("f.fits", file);
        const FitsImage image = LoadFits(again);
        std::int64_t sum = 0, count = 0, lowest = 65536;
        for (int x = 10; x < r.w - 10; x += 4)
            for (int y = 10; y < r.h - 10; y += 4, ++count) {
                sum += image.samples[x][y];
                lowest = std::min<std::int64_t>(lowest, image.samples[x][y]);
            }
        const double mean = double(sum) / double(count);
        const int m = int(lowest), M = int(std::trunc((mean - double(lowest)) * 2 + double(lowest)));
        const ImageDocument& d = opened.document;
        EXPECT_EQ(d.MIN, m);
        EXPECT_EQ(d.MAX, M);
        ExpectSame({d.Image, d.ImageZm, d.ImageZm2}, BuildMono16Pictures(image.samples, r.w, r.h, m, (M - m) / 255.0),
                   std::to_string(r.w) + " x " + std::to_string(r.h));
    }
}

std::size_t hookedBytes = 0;

TEST(Raster, LargeBlocksReachTheHookBeforeTheyAreWritten) {
    LargeRasterBlockHook().store([](void* block, std::size_t bytes) {
        hookedBytes = bytes;
        static_cast<std::uint8_t*>(block)[bytes - 1] = 7;  // whatever the hook does, the raster fills after
    });
    const Raster small(100, 100);
    EXPECT_EQ(hookedBytes, 0u);
    const Raster large(1024, 1366);
    LargeRasterBlockHook().store(nullptr);
    EXPECT_EQ(hookedBytes, large.bytes.size());
    EXPECT_EQ(large.bytes.back(), 255);
}

}  // namespace
}  // namespace nuvak
