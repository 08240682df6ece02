#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imageops/filters.h"

namespace nuvak {
namespace {

// Random bytes with a quarter of them 255, so that saturated pixels meet every rule.
Raster Random(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    Raster r(w, h, Raster::Unwritten{});
    for (std::uint8_t& b : r.bytes) b = rng() % 4 == 0 ? 255 : std::uint8_t(rng());
    return r;
}

Raster Flat(int w, int h, int v) {
    Raster r(w, h, Raster::Unwritten{});
    std::fill(r.bytes.begin(), r.bytes.end(), std::uint8_t(v));
    return r;
}

int Clamp(int v) { return std::clamp(v, 0, 255); }

// Channel k at (x, y), the edge pixel standing in for a column outside the row.
int At(const Raster& r, int x, int y, int k) { return r.pixel(std::clamp(x, 0, r.width - 1), y)[k]; }

Raster Blurred(const Raster& p) {
    Raster r(p.width, p.height);
    for (int y = 2; y <= p.height - 3; ++y)
        for (int c = 0; c <= p.width - 5; ++c)
            for (int k = 0; k < 3; ++k) {
                const double v = (At(p, c - 1, y - 1, k) + At(p, c + 1, y - 1, k) + At(p, c, y - 2, k) + 5 * At(p, c, y, k)) * 0.125;
                r.pixel(c, y)[k] = std::uint8_t(Clamp(int(v)));
            }
    return r;
}

Raster HighPassed(const Raster& p) {
    Raster r(p.width, p.height);
    for (int y = 1; y <= p.height - 2; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int k = 0; k < 3; ++k) {
                int v = 4 * At(p, x, y, k) - At(p, x - 1, y, k) - At(p, x + 1, y, k) - At(p, x, y - 1, k) - At(p, x, y + 1, k);
                if (At(p, x, y, k) == 255) v = 255;
                r.pixel(x, y)[k] = std::uint8_t(Clamp(v));
            }
    return r;
}

Raster LowPassed(const Raster& p) {
    const Raster e = HighPassed(p);
    Raster r(p.width, p.height);
    for (int y = 1; y <= p.height - 2; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int k = 0; k < 3; ++k) {
                const int v = 5 * At(p, x, y, k) - At(e, x - 1, y, k) - At(e, x + 1, y, k) - At(e, x, y - 1, k) - At(e, x, y + 1, k);
                r.pixel(x, y)[k] = std::uint8_t(Clamp(v));
            }
    return r;
}

struct Positions : Progress {
    std::vector<int> seen;
    void setPosition(int p) override { seen.push_back(p); }
};

const struct Filter {
    const char* name;
    void (*run)(ImageDocument&, Progress&);
    Raster (*expected)(const Raster&);
} kFilters[] = {
    {"blur", BlurCommand, Blurred},
    {"high-pass", HighPassCommand, HighPassed},
    {"low-pass", LowPassCommand, LowPassed},
};

// Runs the filter on a document holding the picture and checks both pictures against the
// pixel rules; Image1 stays, UndoFlg is set, the bar ends at 0.
void Check(const Filter& f, const Raster& source, const std::string& what, ImageKind kind = ImageKind::Colour) {
    ImageDocument d;
    d.FilterI = kind;
    d.ImageZm = source;
    d.Image = Flat(source.width, source.height, 3);
    d.Image1 = Flat(source.width, source.height, 7);
    Positions bar;
    f.run(d, bar);
    const Raster expected = f.expected(source);
    EXPECT_TRUE(d.ImageZm == expected) << f.name << ", " << what;
    EXPECT_TRUE(d.Image == expected) << f.name << ", " << what << ": display";
    EXPECT_TRUE(d.Image1 == Flat(source.width, source.height, 7)) << f.name << ", " << what << ": Image1";
    EXPECT_EQ(d.UndoFlg, 1) << f.name << ", " << what;
    ASSERT_FALSE(bar.seen.empty());
    EXPECT_EQ(bar.seen.back(), 0) << f.name << ", " << what;
}

TEST(Filters, RandomPicturesMatchThePixelRules) {
    // Tiny sides where rows and edge columns meet (nothing written below 3 rows, or 5 for the
    // blur, or 5 columns for the blur), and widths past the vector loops with odd remainders.
    const struct {
        int w, h;
    } sizes[] = {{1, 6}, {6, 1}, {2, 2}, {3, 3}, {4, 8}, {5, 5}, {8, 4}, {2, 7}, {33, 17}, {64, 9}, {101, 6}};
    unsigned seed = 1;
    for (const auto& s : sizes) {
        const Raster source = Random(s.w, s.h, seed++);
        for (const Filter& f : kFilters) Check(f, source, std::to_string(s.w) + " x " + std::to_string(s.h));
    }
    // No filter asks for the kind: a FITS window's low bytes are filtered as a picture.
    for (const Filter& f : kFilters) Check(f, Random(9, 7, 77), "kind 2", ImageKind::Mono16);
}

TEST(Filters, FlatPictures) {
    // Flat pictures against the rules, and the figures they must give on a 12 x 10 picture:
    // the high-pass turns a flat area to 0 but keeps 255; the low-pass gives min(5 v, 255) on
    // rows 2 ... H-3 and 5 v - 255 (at least 0) on rows 1 and H-2, against E's white rows;
    // the blur keeps v and leaves rows 0, 1, H-2, H-1 and columns W-4 ... W-1 white.
    const struct Row {
        const char* filter;
        int v;
        int x, y;
        int expected;
    } rows[] = {
        {"high-pass", 0, 0, 1, 0},     {"high-pass", 40, 11, 5, 0},   {"high-pass", 255, 4, 4, 255},
        {"high-pass", 40, 4, 0, 255},  {"low-pass", 40, 5, 5, 200},   {"low-pass", 40, 0, 1, 0},
        {"low-pass", 60, 11, 4, 255},  {"low-pass", 60, 3, 8, 45},    {"low-pass", 255, 3, 3, 255},
        {"low-pass", 0, 3, 9, 255},    {"blur", 60, 0, 2, 60},        {"blur", 60, 7, 7, 60},
        {"blur", 60, 8, 5, 255},       {"blur", 60, 5, 1, 255},       {"blur", 60, 5, 8, 255},
    };
    for (const Row& r : rows) {
        const Filter& f = *std::find_if(std::begin(kFilters), std::end(kFilters),
                                        [&](const Filter& g) { return std::string(g.name) == r.filter; });
        const Raster source = Flat(12, 10, r.v);
        const std::string what = "flat " + std::to_string(r.v) + " at " + std::to_string(r.x) + "," + std::to_string(r.y);
        Check(f, source, what);
        ImageDocument d;
        d.ImageZm = source;
        Progress silent;
        f.run(d, silent);
        EXPECT_EQ(d.ImageZm.pixel(r.x, r.y)[1], r.expected) << f.name << ", " << what;
    }
}

}  // namespace
}  // namespace nuvak
