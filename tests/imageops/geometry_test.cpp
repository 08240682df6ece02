#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "imageops/geometry.h"
#include "tests/support/rasters.h"

namespace nuvak {
namespace {

ImageDocument Doc(const Raster& master, ImageKind kind) {
    ImageDocument d;
    d.FilterI = kind;
    d.DemX = master.width;
    d.DemY = master.height;
    d.ImageZm = master;
    d.Image = master;
    d.Image1 = Raster(master.width, master.height, Raster::Unwritten{});
    std::fill(d.Image1.bytes.begin(), d.Image1.bytes.end(), std::uint8_t(7));
    return d;
}

// Pixel (x, y) of the result is source pixel (x, y) moved by the mapping.
template <class Map>
Raster Moved(const Raster& s, Map map) {
    Raster r(s.width, s.height);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const auto [sx, sy] = map(x, y);
            for (int k = 0; k < 3; ++k) r.pixel(x, y)[k] = s.pixel(sx, sy)[k];
        }
    return r;
}

// The turn by 0.1 radian position by position; the edge column stands in for the right-hand
// neighbour of a sample in the last column.
Raster Rotated(const Raster& s) {
    const int w = s.width, h = s.height;
    Raster r(w, h);
    const double c = std::cos(0.1), sn = std::sin(0.1);
    const int hw = w / 2, hh = h / 2;
    const int offX = int(std::trunc(c * hw + sn * hh - hw)), offY = int(std::trunc(-sn * hw + c * hh - hh));
    auto S = [&](int x, int y, int k) { return s.pixel(std::min(x, w - 1), y)[k]; };
    for (int i = 1; i <= h - 2; ++i)
        for (int j = 1; j <= w - 2; ++j) {
            const double sx = c * j + sn * i - offX, sy = -sn * j + c * i - offY;
            const int ix = int(std::trunc(sx)), iy = int(std::trunc(sy));
            const double fx = sx - ix, fy = sy - iy;
            if (!(ix >= 1 && iy >= 1 && ix < w && iy < h)) continue;
            for (int k = 0; k < 3; ++k) {
                const double v = (1 - fx) * (1 - fy) * S(ix, iy - 1, k) + fx * (1 - fy) * S(ix + 1, iy - 1, k) +
                                 (1 - fx) * fy * S(ix, iy, k) + fx * fy * S(ix + 1, iy, k);
                r.pixel(j - 1, i)[k] = std::uint8_t(std::trunc(v));
            }
        }
    return r;
}

struct Positions : Progress {
    std::vector<int> seen;
    void setPosition(int p) override { seen.push_back(p); }
};

// Sizes where rows, columns and the centre's integer halves break: single rows and columns,
// 2 x 2 (rotation writes nothing), odd sides, and tall and wide pictures whose turn reaches
// the last column and the top and bottom edges.
const struct Size {
    int w, h;
} kSizes[] = {{1, 6}, {6, 1}, {2, 2}, {3, 3}, {2, 9}, {9, 2}, {7, 5}, {10, 40}, {40, 10}, {33, 34}};

TEST(Geometry, CommandsMatchTheirPixelRules) {
    unsigned seed = 1;
    for (const Size& s : kSizes) {
        const Raster source = test::RandomRaster(s.w, s.h, seed++);
        const std::string what = std::to_string(s.w) + " x " + std::to_string(s.h);
        struct Case {
            const char* name;
            Raster expected;
            int undo;
            void (*run)(ImageDocument&);
        } cases[] = {
            {"mirror", Moved(source, [&](int x, int y) { return std::pair(s.w - 1 - x, y); }), 0,
             [](ImageDocument& d) { MirrorCommand(d); }},
            {"flip", Moved(source, [&](int x, int y) { return std::pair(x, s.h - 1 - y); }), 0,
             [](ImageDocument& d) { FlipCommand(d); }},
            {"rotate", Rotated(source), 1, [](ImageDocument& d) {
                 Positions bar;
                 RotateCommand(d, bar);
                 EXPECT_EQ(bar.seen.empty() ? -1 : bar.seen.back(), 0) << "the bar ends at 0";
             }},
        };
        for (const Case& c : cases) {
            ImageDocument d = Doc(source, ImageKind::Colour);
            const Raster before1 = d.Image1;
            c.run(d);
            EXPECT_TRUE(d.ImageZm == c.expected) << c.name << " " << what;
            EXPECT_TRUE(d.Image == c.expected) << c.name << " " << what << ": display";
            EXPECT_TRUE(d.Image1 == before1) << c.name << " " << what << ": Image1 changed";
            EXPECT_EQ(d.UndoFlg, c.undo) << c.name;
            EXPECT_EQ(d.DemX, s.w);
            EXPECT_EQ(d.DemY, s.h);
        }
    }
}

TEST(Geometry, MirrorAndFlipActOnlyOnEightBitColour) {
    const Raster source = test::RandomRaster(5, 4, 9);
    for (ImageKind kind : {ImageKind::Mono16, ImageKind::PgmColour}) {
        ImageDocument d = Doc(source, kind);
        MirrorCommand(d);
        FlipCommand(d);
        EXPECT_TRUE(d.ImageZm == source && d.Image == source) << int(kind);
    }
    // The rotation does not ask: on a FITS window it turns the low bytes as a picture.
    ImageDocument d = Doc(source, ImageKind::Mono16);
    Progress silent;
    RotateCommand(d, silent);
    EXPECT_TRUE(d.ImageZm == Rotated(source));
}

}  // namespace
}  // namespace nuvak
