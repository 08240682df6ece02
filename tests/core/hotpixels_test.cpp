#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/hotpixels.h"
#include "core/simd.h"

namespace nuvak {
namespace {

// A w x h field of one value.
IntArray2D Field(int w, int h, std::int32_t value) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) a[x][y] = value;
    return a;
}

bool Same(const IntArray2D& a, const IntArray2D& b, int w, int h) {
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            if (a[x][y] != b[x][y]) return false;
    return true;
}

// The removal pixel by pixel, each of the four ratios tested on its own.
IntArray2D Obvious(double ratio, int w, int h, const IntArray2D& c) {
    IntArray2D out = Field(w, h, 0);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) out[x][y] = c[x][y];
    for (int x = 1; x <= w - 2; ++x)
        for (int y = 1; y <= h - 2; ++y) {
            int m = 65536;
            for (int i = -1; i <= 1; ++i)
                for (int j = -1; j <= 1; ++j) m = std::min(m, c[x + i][y + j]);
            const double b = m - 1;
            const double centre = c[x][y] - b;
            const int nb[4] = {c[x - 1][y], c[x][y - 1], c[x + 1][y], c[x][y + 1]};
            bool hot = false;
            for (int v : nb) hot = hot || centre / (v - b) > ratio;
            if (hot) out[x][y] = int(std::trunc((nb[0] + nb[1] + nb[2] + nb[3]) * 0.25));
        }
    return out;
}

TEST(RemoveHotPixels, CentreAgainstAnEvenField) {
    // In a field of 100, m = 100 and b = 99: a centre v gives (v - 99) / 1, replaced when above 2.
    struct Row {
        const char* what;
        int centre;
        int expected;
    } rows[] = {{"101 is twice, not more: stays", 101, 101},
                {"102 is three times: replaced", 102, 100},
                {"150", 150, 100},
                {"1000", 1000, 100},
                {"a darker pixel always stays", 40, 40}};
    for (const Row& r : rows) {
        IntArray2D a = Field(5, 5, 100);
        a[2][2] = r.centre;
        EXPECT_EQ(RemoveHotPixels(2.0, 5, 5, a), 0);
        EXPECT_EQ(a[2][2], r.expected) << r.what;
        if (r.centre < 100) continue;  // next to a dark pixel b falls, and its neighbours look hot
        a[2][2] = 100;
        EXPECT_TRUE(Same(a, Field(5, 5, 100), 5, 5)) << r.what << ": a neighbour changed";
    }
}

TEST(RemoveHotPixels, MeanOfTheFourNeighboursIsTruncated) {
    // Neighbours 100, 100, 100, 103 and centre 110: b = 99, 11 / 1 > 2; (403) x 0.25 = 100.75 -> 100.
    IntArray2D a = Field(5, 5, 100);
    a[2][2] = 110;
    a[3][2] = 103;
    RemoveHotPixels(2.0, 5, 5, a);
    EXPECT_EQ(a[2][2], 100);
    // 103 is itself 4 / 1 over b = 99 against its right neighbour: replaced by the mean of its
    // neighbours as they were, the centre counting as 110 (not as the 100 it became).
    EXPECT_EQ(a[3][2], (110 + 100 + 100 + 100) / 4);
}

TEST(RemoveHotPixels, DecisionsReadTheUnchangedCopy) {
    // Two hot pixels side by side: against each other the ratio is 1, against the other three
    // neighbours 901, so both are replaced, each by a mean holding the other's original 1000.
    IntArray2D a = Field(6, 5, 100);
    a[2][2] = 1000;
    a[3][2] = 1000;
    RemoveHotPixels(2.0, 6, 5, a);
    EXPECT_EQ(a[2][2], (100 + 100 + 1000 + 100) / 4);
    EXPECT_EQ(a[3][2], (1000 + 100 + 100 + 100) / 4);
}

TEST(RemoveHotPixels, TinyArraysChangeOnlyInside) {
    IntArray2D three = Field(3, 3, 5000);
    three[1][1] = 60000;
    for (int x : {0, 2}) three[x][0] = 60000;  // hot-looking borders stay
    RemoveHotPixels(2.0, 3, 3, three);
    EXPECT_EQ(three[1][1], 5000);
    EXPECT_EQ(three[0][0], 60000);
    EXPECT_EQ(three[2][0], 60000);

    IntArray2D two = Field(2, 2, 100);
    two[0][0] = 65535;
    RemoveHotPixels(2.0, 2, 2, two);
    EXPECT_EQ(two[0][0], 65535);

    for (auto [w, h] : {std::pair{1, 7}, std::pair{7, 1}, std::pair{2, 9}}) {
        IntArray2D a = Field(w, h, 10);
        a[w / 2][h / 2] = 9999;
        RemoveHotPixels(2.0, w, h, a);
        EXPECT_EQ(a[w / 2][h / 2], 9999) << w << " x " << h;
    }
}

TEST(RemoveHotPixels, ValuesBeyondSixteenBitsMeasureFrom65535) {
    // Every value above 65536: m stays 65536, b = 65535. Centre 70000 gives 4465, the
    // neighbours 66000 give 465 each: ratio 9.6, replaced.
    IntArray2D a = Field(3, 3, 66000);
    a[1][1] = 70000;
    RemoveHotPixels(2.0, 3, 3, a);
    EXPECT_EQ(a[1][1], 66000);
}

TEST(RemoveHotPixels, AgreesWithThePixelByPixelRule) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        const int w = 1 + int(rng() % 9), h = 1 + int(rng() % 9);
        const bool eightBit = round % 2 == 0;
        IntArray2D a(w, h);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) {
                // Sparse bright pixels over a low sky, so that both decisions occur often.
                const int sky = eightBit ? int(rng() % 20) : int(rng() % 2000);
                a[x][y] = rng() % 5 == 0 ? (eightBit ? int(rng() % 256) : int(rng() % 65536)) : sky;
            }
        const double ratio = round % 3 == 0 ? 2.0 : 1.0 + (rng() % 40) / 10.0;
        const IntArray2D expected = Obvious(ratio, w, h, a);
        RemoveHotPixels(ratio, w, h, a);
        ASSERT_TRUE(Same(a, expected, w, h)) << "round " << round << ", " << w << " x " << h << ", ratio " << ratio;
    }
}

TEST(RemoveHotPixelsRows, ABandGivesTheRowsOfTheWholeImage) {
    std::mt19937 rng(11);
    const int w = 12, h = 10;
    IntArray2D p(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) p[x][y] = rng() % 4 == 0 ? int(rng() % 60000) : int(1000 + rng() % 50);
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        IntArray2D whole = Field(w, h, 0);
        RemoveHotPixelsRows(2.0, w, h, p, whole, 0, h);
        for (auto [y0, y1] : {std::pair{0, 1}, std::pair{0, 3}, std::pair{4, 6}, std::pair{7, 10}, std::pair{9, 10}}) {
            IntArray2D band = Field(w, h, -7);
            RemoveHotPixelsRows(2.0, w, h, p, band, y0, y1);
            for (int x = 0; x < w; ++x)
                for (int y = 0; y < h; ++y) {
                    const int want = y >= y0 && y < y1 ? whole[x][y] : -7;
                    ASSERT_EQ(band[x][y], want)
                        << simd::Name(path) << ", band " << y0 << ".." << y1 << " at " << x << ", " << y;
                }
        }
    }
}

// The rule pixel by pixel, all in double precision, for any 32-bit values.
IntArray2D Plain(double ratio, int w, int h, const IntArray2D& c) {
    IntArray2D out(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) out[x][y] = c[x][y];
    for (int x = 1; x + 1 < w; ++x)
        for (int y = 1; y + 1 < h; ++y) {
            double lo = 65536;
            for (int i = -1; i <= 1; ++i)
                for (int j = -1; j <= 1; ++j) lo = std::min(lo, double(c[x + i][y + j]));
            const double b = lo - 1;
            const double nb[4] = {double(c[x - 1][y]), double(c[x][y - 1]), double(c[x + 1][y]), double(c[x][y + 1])};
            bool hot = false;
            for (double v : nb) hot = hot || (c[x][y] - b) / (v - b) > ratio;
            if (hot) out[x][y] = std::int32_t(std::trunc((nb[0] + nb[1] + nb[2] + nb[3]) * 0.25));
        }
    return out;
}

TEST(RemoveHotPixelsRows, FastPathsMatchThePlainRuleOnAnyValues) {
    // Ratio 2 runs on eight 16-bit lanes where a band's values are 0 ... 65535 (and the band has
    // eight interior rows), otherwise on 32-bit integers; other ratios in double precision.
    // Heights give bands of fewer, exactly and not a multiple of eight rows; bands are also
    // cut out on their own (p holding only the rows from y0 - 1 on), as the tracking run does.
    std::mt19937 rng(23);
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min(),
                           kMax = std::numeric_limits<std::int32_t>::max();
    const auto pick = [&](std::initializer_list<std::int32_t> v) { return *(v.begin() + rng() % v.size()); };
    struct Case {
        const char* what;
        std::function<std::int32_t(int x)> value;
    } cases[] = {
        {"16-bit sky with hot pixels",
         [&](int) { return rng() % 6 == 0 ? int(rng() % 65536) : int(1000 + rng() % 64); }},
        {"low sky with many ties", [&](int) { return int(rng() % 5); }},
        {"16-bit ends",
         [&](int) {
             return pick({0, 1, 2, 3, 65532, 65533, 65534, 65535});
         }},
        {"one column beyond 16 bits",
         [&](int x) {
             return x == 4 ? pick({-1, 65536, 65537}) : int(rng() % 300);
         }},
        {"around 65536", [&](int) { return int(65528 + rng() % 16); }},
        {"small negative values", [&](int) { return int(rng() % 201) - 100; }},
        {"the whole 32-bit range",
         [&](int) {
             return rng() % 2 ? std::int32_t(rng()) : pick({kMin, kMin + 1, -(1 << 30), 1 << 30, kMax - 1, kMax, 0});
         }},
    };
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        SCOPED_TRACE(simd::Name(path));
        for (const Case& c : cases)
            for (double ratio : {2.0, 1.5, 3.0})
                for (int w : {3, 7, 12})
                    for (int h : {3, 9, 10, 11, 17, 42}) {
                        IntArray2D a(w, h);
                        for (int x = 0; x < w; ++x)
                            for (int y = 0; y < h; ++y) a[x][y] = c.value(x);
                        const IntArray2D expected = Plain(ratio, w, h, a);
                        const std::string what = std::string(c.what) + ", ratio " + std::to_string(ratio) + ", " +
                                                 std::to_string(w) + " x " + std::to_string(h);
                        IntArray2D whole(w, h);
                        for (int x = 0; x < w; ++x)
                            for (int y = 0; y < h; ++y) whole[x][y] = a[x][y];
                        RemoveHotPixels(ratio, w, h, whole);
                        ASSERT_TRUE(Same(whole, expected, w, h)) << what;
                        const int cut = 1 + int(rng() % (h - 1));
                        for (auto [y0, y1] :
                             {std::pair{0, h}, std::pair{1, h - 1}, std::pair{0, cut}, std::pair{cut, h}}) {
                            const int r0 = std::max(y0 - 1, 0), r1 = std::min(y1 + 1, h);
                            IntArray2D part(w, r1 - r0), band = Field(w, h, -7);
                            for (int x = 0; x < w; ++x)
                                for (int y = r0; y < r1; ++y) part[x][y - r0] = a[x][y];
                            RemoveHotPixelsRows(ratio, w, h, part, band, y0, y1, r0);
                            for (int x = 0; x < w; ++x)
                                for (int y = 0; y < h; ++y)
                                    ASSERT_EQ(band[x][y], y >= y0 && y < y1 ? expected[x][y] : -7)
                                        << what << ", band " << y0 << ".." << y1 << " at " << x << ", " << y;
                        }
                    }
    }
}

TEST(RemoveHotPixelsRows, EveryPathMatchesThePlainRule) {
    // Ratio 2 on each path this processor runs. Heights give bands of fewer than eight rows, of
    // eight to fifteen (eight lanes on either vector path), of exactly and not a multiple of
    // sixteen; bands are also cut at a random row and read from a part of the image.
    std::mt19937 rng(31);
    const auto pick = [&](std::initializer_list<std::int32_t> v) { return *(v.begin() + rng() % v.size()); };
    const std::function<std::int32_t(int x)> values[] = {
        [&](int) { return rng() % 6 == 0 ? int(rng() % 65536) : int(1000 + rng() % 64); },
        [&](int) {
            return rng() % 4 == 0 ? pick({65532, 65533, 65534, 65535}) : int(rng() % 5);
        },
        [&](int x) {
            return x == 2 ? pick({-1, 65536, 70000}) : int(rng() % 300);
        },
    };
    for (const simd::Path path : simd::Available()) {
        const simd::Narrow only(path);
        for (std::size_t k = 0; k < std::size(values); ++k)
            for (int w : {3, 6})
                for (int h : {3, 10, 17, 18, 19, 34, 51, 132}) {
                    IntArray2D a(w, h);
                    for (int x = 0; x < w; ++x)
                        for (int y = 0; y < h; ++y) a[x][y] = values[k](x);
                    const IntArray2D expected = Plain(2.0, w, h, a);
                    const int cut = 1 + int(rng() % (h - 1));
                    for (auto [y0, y1] : {std::pair{0, h}, std::pair{0, cut}, std::pair{cut, h}}) {
                        const int r0 = std::max(y0 - 1, 0), r1 = std::min(y1 + 1, h);
                        IntArray2D part(w, r1 - r0), out = Field(w, h, -7);
                        for (int x = 0; x < w; ++x)
                            for (int y = r0; y < r1; ++y) part[x][y - r0] = a[x][y];
                        RemoveHotPixelsRows(2.0, w, h, part, out, y0, y1, r0);
                        for (int x = 0; x < w; ++x)
                            for (int y = 0; y < h; ++y)
                                ASSERT_EQ(out[x][y], y >= y0 && y < y1 ? expected[x][y] : -7)
                                    << simd::Name(path) << ", values " << k << ", " << w << " x " << h << ", band "
                                    << y0 << ".." << y1 << " at " << x << ", " << y;
                    }
                }
    }
}

}  // namespace
}  // namespace nuvak
