#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "rgbcomp/coordinates.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

struct Probe {
    int x, y;
    int grey;  // display byte
};

IntArray2D Samples(int w, int h, const std::function<int(int, int)>& v) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) a[x][y] = v(x, y);
    return a;
}

TEST(CoordinateFrame, GridStatisticsAndDisplay) {
    struct Row {
        const char* what;
        int w, h;
        std::function<int(int, int)> value;
        double mean;
        int minimum;
        std::vector<Probe> probes;
    } rows[] = {
        // Grid alternating 1000 and 1400 on a sky of 1200: 50 at the mean, 100 at 1400.
        {"grid", 100, 100,
         [](int x, int y) {
             if (x == 5 && y == 7) return 900;
             if (x == 95 && y == 3) return 2000;
             if (x >= 10 && y >= 10 && x < 90 && y < 90 && x % 4 == 2 && y % 4 == 2) return (x + y) % 8 == 4 ? 1000 : 1400;
             return 1200;
         },
         1200, 1000, {{0, 0, 50}, {5, 7, 0}, {95, 3, 250}, {14, 18, 100}, {14, 14, 0}}},
        // 21 pixels: the one grid point (10, 10) alone, a flat grid; divisor 1.
        {"one grid point", 21, 21, [](int x, int y) { return x == 10 && y == 10 ? 700 : (x == 0 ? 703 : 300); }, 700, 700,
         {{10, 10, 0}, {3, 3, 0}, {0, 5, 150}}},
        {"flat sky", 40, 40, [](int x, int y) { return x == 2 && y == 2 ? 510 : 500; }, 500, 500, {{20, 20, 0}, {2, 2, 255}}},
        // Under 21 pixels on a side: every pixel sampled, min 100, mean 100 + 55 + 3.5.
        {"too small for the grid", 12, 8, [](int x, int y) { return 100 + 10 * x + y; }, 158.5, 100,
         {{0, 0, 0}, {3, 2, 27}, {11, 7, 100}}},
    };
    for (const Row& r : rows) {
        const IntArray2D s = Samples(r.w, r.h, r.value);
        const CoordinateFrame f = CoordinateFrameOf(s, r.w, r.h, "c.fits");
        EXPECT_DOUBLE_EQ(f.mean, r.mean) << r.what;
        EXPECT_EQ(f.minimum, r.minimum) << r.what;
        const ImageDocument& d = f.document;
        EXPECT_EQ(d.MAX, int(r.mean)) << r.what;
        EXPECT_EQ(d.MIN, r.minimum) << r.what;
        for (const Probe& p : r.probes) {
            const std::uint8_t* px = d.Image.pixel(p.x, p.y);
            EXPECT_EQ(px[0], p.grey) << r.what << " at " << p.x << "," << p.y;
            EXPECT_TRUE(px[1] == px[0] && px[2] == px[0]) << r.what << ": not grey";
            EXPECT_EQ(d.sample(p.x, p.y), r.value(p.x, p.y)) << r.what;
            EXPECT_EQ(d.ImageZm.pixel(p.x, p.y)[1] | d.ImageZm.pixel(p.x, p.y)[2] | d.ImageZm2.pixel(p.x, p.y)[2], 0);
        }
    }
}

TEST(CoordinateFrame, ReadsTheFileWithTheZeroOffset) {
    test::TempDir dir;
    const std::string path = dir.file("m42.fits");
    test::WriteBytes(path, test::LevelExampleFrame());
    const CoordinateFrame f = ReadCoordinateFrame(path);
    const ImageDocument& d = f.document;
    EXPECT_EQ(f.mean, 1200.0);
    EXPECT_EQ(f.minimum, 1000);
    EXPECT_EQ(d.kind(), ImageKind::Mono16);
    EXPECT_EQ(d.caption, "m42.fits");
    EXPECT_EQ(d.DemX, 100);
    EXPECT_EQ(d.DemY, 100);
    EXPECT_EQ(d.Average, 1200.0);
    EXPECT_EQ(d.Minimum, 1000);
    EXPECT_EQ(d.ColN, 1);
    EXPECT_EQ(d.sample(95, 3), 2000);
    EXPECT_EQ(d.Image.pixel(95, 3)[0], 250);
}

}  // namespace
}  // namespace nuvak
