#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/arrays.h"

namespace nuvak {
namespace {

// Every element other than those listed is 0.
void ExpectOnly(const IntArray2D& a, int x, int y, int value) {
    for (int i = 0; i < a.width(); ++i)
        for (int j = 0; j < a.height(); ++j)
            EXPECT_EQ(a[i][j], (i == x && j == y) ? value : 0) << "at [" << i << "][" << j << "]";
}

TEST(Arrays, AllocationIsZeroFilledAndIndexedColumnFirst) {
    IntArray2D a;
    ASSERT_EQ(AllocIntArray2D(3, 5, a), 0);
    ASSERT_EQ(a.width(), 3);
    ASSERT_EQ(a.height(), 5);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 5; ++y) EXPECT_EQ(a[x][y], 0);
    a[2][4] = 7;  // the last column's last row
    EXPECT_EQ(a.data()[2 * 5 + 4], 7);
    EXPECT_EQ(FreeIntArray2D(3, 5, a), 0);
    EXPECT_TRUE(a.empty());

    DoubleArray2D d;
    ASSERT_EQ(AllocDoubleArray2D(2, 2, d), 0);
    EXPECT_EQ(d[1][1], 0.0);
}

TEST(Arrays, FailedIntegerAllocationReportsAndReturnsOne) {
    std::ostringstream diag;
    IntArray2D a;
    EXPECT_EQ(AllocIntArray2D(1 << 30, 1 << 30, a, &diag), 1);  // 4 EiB cannot be had
    EXPECT_EQ(diag.str(), "Alloc Error  !!\n");
    EXPECT_TRUE(a.empty());
    DoubleArray2D d;
    EXPECT_EQ(AllocDoubleArray2D(1 << 30, 1 << 30, d), 1);
}

TEST(Arrays, ClampRaisesLowFirstThenCapsAtOrAboveHigh) {
    IntArray2D a(4, 1);
    a[0][0] = -5;
    a[1][0] = 10;
    a[2][0] = 99;
    a[3][0] = 100;
    ClampArray2D(0, 100, 4, 1, a);
    EXPECT_EQ(a[0][0], 0);
    EXPECT_EQ(a[1][0], 10);
    EXPECT_EQ(a[2][0], 99);
    EXPECT_EQ(a[3][0], 100);

    // With lo above hi the high clamp wins, because it comes second.
    IntArray2D b(1, 1);
    b[0][0] = 3;
    ClampArray2D(50, 20, 1, 1, b);
    EXPECT_EQ(b[0][0], 20);
}

TEST(Arrays, RotationByZeroKeepsAnInteriorElementInPlace) {
    IntArray2D a(4, 4);
    a[1][1] = 1000;  // u = 1, v = 1 exactly
    RotateArray2D(0.0, 4, 4, a);
    ExpectOnly(a, 1, 1, 1000);
}

TEST(Arrays, ScalingByTwoMovesAnElementAwayFromTheCentre) {
    IntArray2D a(10, 10);
    a[6][5] = 400;  // u = (6 - 5) * 2 + 5 = 7, v = 5
    ScaleArray2D(2.0, 10, 10, a);
    ExpectOnly(a, 7, 5, 400);
}

TEST(Arrays, LastRowAndColumnOnlyReceiveShares) {
    // Sources that would land wholly on the last column or row are dropped.
    IntArray2D a(4, 4);
    a[3][1] = 1000;
    a[1][3] = 1000;
    RotateArray2D(0.0, 4, 4, a);
    ExpectOnly(a, 0, 0, 0);

    // A source landing half way shares with the last column.
    IntArray2D b(4, 4);
    b[2][1] = 1000;
    ScaleArray2D(1.25, 4, 4, b);  // u = (2 - 2) * 1.25 + 2 = 2, v = (1 - 2) * 1.25 + 2 = 0.75
    EXPECT_EQ(b[2][0], 250);
    EXPECT_EQ(b[2][1], 750);
    EXPECT_EQ(b[3][0], 0);
}

TEST(Arrays, SharesAreTruncatedWhenAddedAndTheTotalShrinks) {
    IntArray2D a(8, 8);
    long long before = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) before += a[x][y] = 1001 + x * 13 + y * 7;
    RotateArray2D(0.3, 8, 8, a);
    long long after = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) after += a[x][y];
    EXPECT_LT(after, before);
}

TEST(Arrays, RotationResultStaysWithinSixteenBits) {
    IntArray2D a(6, 6);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y) a[x][y] = (x + y) % 2 ? 65535 : -40000;
    RotateArray2D(0.7, 6, 6, a);
    ScaleArray2D(0.5, 6, 6, a);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y) {
            EXPECT_GE(a[x][y], 0);
            EXPECT_LE(a[x][y], 65535);
        }
    // Several full deposits on one element add up past 65535 and are clamped.
    IntArray2D c(4, 4);
    c[1][1] = 65535;
    c[2][2] = 65535;
    ScaleArray2D(0.0, 4, 4, c);  // everything lands on the centre (2, 2)
    EXPECT_EQ(c[2][2], 65535);
}

TEST(Arrays, NonFiniteAnglesDropEverything) {
    IntArray2D a(4, 4);
    a[1][1] = 5;
    RotateArray2D(std::nan(""), 4, 4, a);
    ExpectOnly(a, 0, 0, 0);
}

}  // namespace
}  // namespace nuvak
