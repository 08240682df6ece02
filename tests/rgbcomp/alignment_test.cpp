#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "core/simd.h"
#include "rgbcomp/alignment.h"

namespace nuvak {
namespace {

// A w x h field of value with the given pixels set.
struct Px {
    int x, y;
    std::int32_t v;
};
IntArray2D Frame(int w, int h, std::int32_t value, std::initializer_list<Px> pixels = {}) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) a[x][y] = value;
    for (const Px& p : pixels) a[p.x][p.y] = p.v;
    return a;
}

TEST(FindStar, EqualPeaksSmallerXThenSmallerYWin) {
    struct Row {
        const char* what;
        std::initializer_list<Px> peaks;
        int px, py;
    } rows[] = {
        {"smaller x first", {{12, 8, 500}, {9, 11, 500}}, 9, 11},
        {"same x: smaller y", {{10, 12, 500}, {10, 9, 500}}, 10, 9},
        {"strictly brighter wins", {{8, 8, 500}, {12, 12, 501}}, 12, 12},
    };
    for (const Row& r : rows) {
        const IntArray2D f = Frame(30, 30, 0, r.peaks);
        int px = -1, py = -1;
        double cx = 0, cy = 0;
        EXPECT_EQ(FindStar(30, 30, 10, 10, 3, px, py, cx, cy, f), kStarFound) << r.what;
        EXPECT_EQ(px, r.px) << r.what;
        EXPECT_EQ(py, r.py) << r.what;
    }
}

TEST(FindStar, CentroidClippedToTheFrameAndFaults) {
    // A star in the corner: the block (-3 .. 3)^2 keeps only its inside part.
    const IntArray2D corner = Frame(20, 20, 0, {{0, 0, 100}, {1, 0, 100}});
    int px = -1, py = -1;
    double cx = -1, cy = -1;
    ASSERT_EQ(FindStar(20, 20, 0, 0, 2, px, py, cx, cy, corner), kStarFound);
    EXPECT_DOUBLE_EQ(cx, 0.5);
    EXPECT_DOUBLE_EQ(cy, 0.0);

    // Nothing above 0: the peak and centroid stay as they were.
    px = 7, py = 8;
    EXPECT_EQ(FindStar(20, 20, 10, 10, 3, px, py, cx, cy, Frame(20, 20, -5)), kStarNoPeak);
    EXPECT_EQ(px, 7);
    // A peak whose block sums to 0.
    const IntArray2D zeroSum = Frame(20, 20, 0, {{10, 10, 10}, {11, 10, -4}, {9, 10, -6}});
    EXPECT_EQ(FindStar(20, 20, 10, 10, 3, px, py, cx, cy, zeroSum), kStarNoCentroid);
}

TEST(ClampCoordinates, LowerBoundsThenUpperBounds) {
    struct Row {
        int x, y, expectX, expectY;
    } rows[] = {{3, 3, 10, 10}, {64, 48, 64 - 11, 48 - 11}, {30, 20, 30, 20}};
    for (const Row& r : rows) {
        RGBCompositeSetup s;
        s.x1 = s.x2 = s.bx = r.x;
        s.y1 = s.y2 = s.by = r.y;
        s.delta1 = s.delta2 = s.bgl = 10;
        ClampCoordinates(64, 48, s);
        EXPECT_EQ(s.x1, r.expectX);
        EXPECT_EQ(s.y1, r.expectY);
        EXPECT_EQ(s.x2, r.expectX);
        EXPECT_EQ(s.by, r.expectY);
    }
}

TEST(AlignFrame, ShiftsPerMode) {
    RGBCompositeSetup s;
    s.x1 = 100, s.y1 = 80, s.delta1 = 10;
    struct Row {
        int mode, dx, dy;
    } rows[] = {{kNoStar, 0, 0}, {kOneStar, 3, -2}};
    for (const Row& r : rows) {
        s.starMode = r.mode;
        IntArray2D f = Frame(200, 160, 0, {{103, 78, 5000}});
        const FrameShift shift = AlignFrame(200, 160, s, {}, f);
        EXPECT_EQ(shift.dx, r.dx);
        EXPECT_EQ(shift.dy, r.dy);
    }
}

TEST(AlignFrame, TwoStarsAtTheReferenceGeometryOnlyShift) {
    RGBCompositeSetup s;
    s.starMode = kTwoStars;
    s.x1 = 20, s.y1 = 20, s.x2 = 40, s.y2 = 30, s.delta1 = s.delta2 = 5;
    const IntArray2D reference = Frame(64, 48, 1, {{20, 20, 900}, {40, 30, 700}});
    const StarPair pair = MeasureStarPair(64, 48, s, reference);

    // The same pair moved by (2, 1): k = 1 and a = 0, so only the peak shift.
    IntArray2D f = Frame(64, 48, 1, {{22, 21, 900}, {42, 31, 700}});
    const FrameShift shift = AlignFrame(64, 48, s, pair, f);
    EXPECT_EQ(shift.dx, 2);
    EXPECT_EQ(shift.dy, 1);
    EXPECT_EQ(f[22][21], 900);
    EXPECT_EQ(f[63][5], 0);  // the scaling by 1 clears the last column
    EXPECT_EQ(f[5][47], 0);  // and the last row
    EXPECT_EQ(f[5][46], 1);

    // Stars of equal centroid x have no angle; coincident ones no distance.
    const RGBCompositeSetup same = [&] {
        RGBCompositeSetup c = s;
        c.x2 = 20, c.y2 = 35;
        return c;
    }();
    const IntArray2D column = Frame(64, 48, 0, {{20, 20, 900}, {20, 35, 700}});
    try {
        MeasureStarPair(64, 48, same, column);
        ADD_FAILURE() << "equal x accepted";
    } catch (const AlignmentFault& e) {
        EXPECT_EQ(e.kind, AlignmentFault::SameX);
    }
    RGBCompositeSetup one = s;
    one.x2 = one.x1, one.y2 = one.y1;
    try {
        MeasureStarPair(64, 48, one, reference);
        ADD_FAILURE() << "coincident stars accepted";
    } catch (const AlignmentFault& e) {
        EXPECT_EQ(e.kind, AlignmentFault::SameCentroid);
    }
}

TEST(ScaleFrame, ResamplingMatchesTheArrayRoutines) {
    // Values with negatives take the one-by-one splatting; values of 0 ... 65535 (every scaled
    // frame) the whole-number one, in AVX2 lanes and in portable ones.
    struct Size {
        int w, h, lo, hi;
    } sizes[] = {{37, 23, -500, 70000}, {37, 23, 0, 65535}, {130, 41, 0, 65535}, {4, 3, 0, 65535}};
    struct Row {
        bool rotate;
        double by;
    } rows[] = {{false, 1.0}, {false, 0.97}, {false, 1.031}, {false, 0.5}, {false, 2.0}, {false, 0.9999},
                {true, 0.01}, {true, -0.3},  {true, 1.2},    {true, -2.5}, {true, 3.1},  {true, -0.0004}};
    std::mt19937 gen(7);
    for (const Size& z : sizes) {
        std::uniform_int_distribution<int> value(z.lo, z.hi);
        IntArray2D source(z.w, z.h);
        for (int x = 0; x < z.w; ++x)
            for (int y = 0; y < z.h; ++y) source[x][y] = value(gen);
        auto copy = [&] {
            IntArray2D a(z.w, z.h);
            std::copy(source.data(), source.data() + source.size(), a.data());
            return a;
        };
        for (const Row& r : rows) {
            IntArray2D plain = copy();
            r.rotate ? RotateArray2D(r.by, z.w, z.h, plain) : ScaleArray2D(r.by, z.w, z.h, plain);
            for (const simd::Path path : simd::Available()) {
                const simd::Narrow only(path);
                IntArray2D mine = copy(), scratch(z.w, z.h);
                if (r.rotate) {
                    detail::RotateFrame(r.by, z.w, z.h, mine, &scratch, z.lo == 0);
                } else {
                    detail::ScaleFrame(r.by, z.w, z.h, mine, &scratch);
                }
                for (int x = 0; x < z.w; ++x)
                    for (int y = 0; y < z.h; ++y)
                        ASSERT_EQ(mine[x][y], plain[x][y]) << z.w << "x" << z.h << " " << r.rotate << " " << r.by << " "
                                                           << simd::Name(path) << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace nuvak
