#include "core/blooming.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace nuvak {
namespace {

using Grid = std::vector<std::vector<int>>;  // [x][y]

Grid GridOf(const IntArray2D& c) {
    Grid g(c.width(), std::vector<int>(c.height()));
    for (int x = 0; x < c.width(); ++x)
        for (int y = 0; y < c.height(); ++y) g[x][y] = c[x][y];
    return g;
}

// The median as repeated picks of the first largest value, each picked cell set to 0.
bool SlowMedian(int r, int w, int h, int x, int y, const Grid& c, int& result) {
    if (x >= w - r || y >= h - r || x <= r || y <= r) return false;
    std::vector<int> v;
    for (int i = x - r; i <= x + r; ++i)
        for (int j = y - r; j <= y + r; ++j) v.push_back(c[i][j]);
    const int n = int(v.size());
    int picks = 0;
    for (int p = 0; 2 * p < n; ++p) ++picks;
    for (int k = 0; k < picks; ++k) {
        int best = 0;
        for (int i = 1; i < n; ++i)
            if (v[i] > v[best]) best = i;
        result = v[best];
        v[best] = 0;
    }
    return true;
}

// Streak removal step by step, cell by cell, with full mask, dilation and replacement arrays.
void SlowRemoveBlooming(int t, int l, int r, int w, int h, Grid& c) {
    Grid m(w, std::vector<int>(h)), d = m, rep = m;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            if (c[x][y] >= t) m[x][y] = 255;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h;) {
            int n = 0;
            while (y + n < h && m[x][y + n] == 255) ++n;
            if (n <= l)
                for (int k = 0; k < n; ++k) m[x][y + k] = 0;
            y += n + 1;
        }
    for (int y = 0; y < h; ++y) {
        int f = 0;
        for (int x = 0; x < w; ++x) {
            if (f == 1 && c[x][y] < t && x < w - 2) {
                c[x + 1][y] = c[x + 2][y];
                c[x][y] = c[x + 1][y];
            }
            if (c[x][y] >= t && x > 0 && m[x][y] == 255) {
                c[x][y] = c[x - 1][y];
                f = 1;
            } else {
                f = 0;
            }
        }
    }
    for (int x = 1; x < w - 1; ++x)
        for (int y = 1; y < h - 1; ++y)
            if (m[x][y - 1] == 255 || m[x][y + 1] == 255 || m[x - 1][y] == 255 || m[x + 1][y] == 255) d[x][y] = 255;
    for (int x = 1; x < w - 1; ++x)
        for (int y = 1; y < h - 1; ++y)
            if (d[x][y] == 255) m[x][y] = 255;
    for (int y = 0; y < h; ++y)
        for (int x = 1; x < w; ++x)
            if (m[x][y] == 255 || d[x][y] == 255) SlowMedian(r, w, h, x, y, c, rep[x][y]);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            rep[x][y] = std::clamp(rep[x][y], 0, 65535);
            if (rep[x][y] > 0) c[x][y] = rep[x][y];
        }
}

// Random values below t with vertical runs of 1 ... 9 cells at or above it.
IntArray2D Streaky(int w, int h, int t, int top, int low, unsigned seed) {
    std::mt19937 rng(seed);
    IntArray2D c(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) c[x][y] = std::uniform_int_distribution<int>(low, t - 1)(rng);
    for (int k = 0; k < w * h / 6; ++k) {
        const int x = int(rng() % w), y = int(rng() % h), n = 1 + int(rng() % 9);
        for (int j = y; j < std::min(h, y + n); ++j) c[x][j] = std::uniform_int_distribution<int>(t, top)(rng);
    }
    return c;
}

TEST(Blooming, MatchesTheCellByCellRule) {
    struct Case {
        int w, h, t, l, r, top, low;
    };
    const Case cases[] = {
        {1, 12, 222, 5, 1, 255, 0},         {12, 1, 222, 5, 1, 255, 0},  {2, 2, 222, 5, 1, 255, 0},
        {3, 3, 222, 0, 1, 255, 0},          {4, 4, 222, 1, 1, 255, 0},   {23, 17, 222, 5, 1, 255, 0},
        {31, 40, 222, 2, 2, 255, 0},        {16, 16, 222, 5, 0, 255, 0}, {25, 30, 60000, 3, 1, 65535, 0},
        {25, 30, 63000, 3, 1, 70000, -500},  // negatives and values above 65535
        {20, 20, 100, 1, 2, 300, -300},
    };
    for (const Case& k : cases)
        for (unsigned seed = 1; seed <= 3; ++seed) {
            IntArray2D c = Streaky(k.w, k.h, k.t, k.top, k.low, seed);
            Grid expected = GridOf(c);
            SlowRemoveBlooming(k.t, k.l, k.r, k.w, k.h, expected);
            EXPECT_EQ(RemoveBlooming(k.t, k.l, k.r, k.w, k.h, c), 0);
            EXPECT_EQ(GridOf(c), expected) << k.w << " x " << k.h << " t " << k.t << " r " << k.r << " seed " << seed;
        }
}

TEST(Blooming, OnlyRunsLongerThanTheLimitAreStreaks) {
    // Column 3 of a flat 40 picture holds a saturated run of n cells from row 2.
    for (const int n : {0, 5, 6}) {
        IntArray2D c(8, 12);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 12; ++y) c[x][y] = 40 + x;
        for (int y = 2; y < 2 + n; ++y) c[3][y] = 250;
        const Grid before = GridOf(c);
        RemoveBlooming(222, 5, 1, 8, 12, c);
        if (n < 6) {
            EXPECT_EQ(GridOf(c), before) << n;
            continue;
        }
        // The streak takes the left value, the two cells after it the third one's; the grown
        // mask then takes the 3 x 3 medians of that.
        for (int y = 2; y < 8; ++y) EXPECT_EQ(c[3][y], 42) << y;
        EXPECT_EQ(c[4][4], 46);
        EXPECT_EQ(c[5][4], 46);
        EXPECT_EQ(c[6][4], 46);
        EXPECT_EQ(c[3][1], 43);
        EXPECT_EQ(c[3][8], 43);
    }
}

TEST(Blooming, MedianNeedsAWholeWindowInsideTheBorderline) {
    IntArray2D c(5, 5);
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y) c[x][y] = 10 * x + y;
    std::int32_t m = -7;
    EXPECT_FALSE(NeighbourhoodMedian(1, 5, 5, 1, 2, c, m));
    EXPECT_FALSE(NeighbourhoodMedian(1, 5, 5, 2, 4, c, m));
    EXPECT_EQ(m, -7);
    ASSERT_TRUE(NeighbourhoodMedian(1, 5, 5, 2, 2, c, m));
    EXPECT_EQ(m, 22);
    // Picked cells turn 0, so with more negatives than the median rank the result is 0.
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y) c[x][y] = -x - y;
    ASSERT_TRUE(NeighbourhoodMedian(1, 5, 5, 2, 2, c, m));
    EXPECT_EQ(m, 0);
}

struct Recorder : Progress {
    std::vector<int> positions;
    void setPosition(int p) override { positions.push_back(p); }
};

TEST(Blooming, CommandFiltersTheMasterOntoBothPictures) {
    ImageDocument d;
    d.FilterI = ImageKind::Colour;
    d.ImageZm = Raster(9, 14);
    std::mt19937 rng(5);
    for (auto& b : d.ImageZm.bytes) b = std::uint8_t(rng() % 200);
    for (int y = 3; y < 11; ++y) d.ImageZm.pixel(4, y)[2] = 240;  // a red streak
    d.Image = Raster(9, 14);
    d.Image1 = Raster(2, 2);
    IntArray2D blue(9, 14), green(9, 14), red(9, 14);
    SplitChannels(d.ImageZm, blue, green, red);
    RemoveBlooming(222, 5, 1, 9, 14, red);
    Raster expected(9, 14);
    JoinChannels(blue, green, red, expected);
    ASSERT_NE(expected, d.ImageZm);

    Recorder progress;
    RemoveBloomingCommand(d, progress);
    EXPECT_EQ(d.ImageZm, expected);
    EXPECT_EQ(d.Image, expected);
    EXPECT_EQ(d.Image1, Raster(2, 2));
    EXPECT_EQ(d.UndoFlg, 0);
    EXPECT_EQ(progress.positions, (std::vector<int>{20, 40, 60, 80, 100, 0}));
}

}  // namespace
}  // namespace nuvak
