#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "stacking/composite.h"

namespace nuvak {
namespace {

// Random bytes of lo ... 255.
Raster Random(int w, int h, unsigned seed, int lo = 0) {
    std::mt19937 rng(seed);
    Raster r(w, h, Raster::Unwritten{});
    for (std::uint8_t& b : r.bytes) b = std::uint8_t(lo + int(rng() % unsigned(256 - lo)));
    return r;
}

ImageDocument Window(const std::string& caption, const Raster& master) {
    ImageDocument d;
    d.caption = caption;
    d.ImageZm = master;
    return d;
}

// Every byte straight from the definition of the method over the sorted values.
Raster Reference(const std::vector<const Raster*>& pictures, CompositeMethod method) {
    Raster out = *pictures[0];
    const std::size_t n = pictures.size();
    for (std::size_t i = 0; i < out.bytes.size(); ++i) {
        std::vector<int> v;
        v.reserve(n);
        for (const Raster* p : pictures) v.push_back(p->bytes[i]);
        std::sort(v.begin(), v.end());
        long sum = 0;
        for (int x : v) sum += x;
        const int r[] = {int(double(sum) / double(n)), int(std::min(sum, 255L)), v.back(), v.front(),
                         (v[(n - 1) / 2] + v[n / 2]) / 2};
        out.bytes[i] = std::uint8_t(r[int(method) - 1]);
    }
    return out;
}

struct Recorder : Progress {
    std::vector<int> positions;
    void setPosition(int p) override { positions.push_back(p); }
};

TEST(Composite, EveryMethodMatchesTheDefinition) {
    // count, size (rows longer than one block of 256 bytes among them), smallest byte value
    // (high values drive the sums to their limits)
    const int cases[][4] = {{1, 7, 5, 0},     {2, 7, 5, 0},     {3, 7, 5, 0},    {4, 5, 3, 0},
                            {5, 100, 3, 0},   {8, 9, 4, 0},     {20, 90, 2, 0},  {33, 11, 3, 0},
                            {256, 5, 2, 250}, {257, 5, 2, 250}, {300, 3, 2, 200}};
    for (const auto& [count, w, h, lo] : cases) {
        std::vector<Raster> pictures;
        pictures.reserve(std::size_t(count));
        for (int k = 0; k < count; ++k) pictures.push_back(Random(w, h, unsigned(1000 * count + k), lo));
        std::vector<const Raster*> listed;
        listed.reserve(pictures.size());
        for (const Raster& p : pictures) listed.push_back(&p);
        for (int m = 1; m <= 5; ++m) {
            Progress quiet;
            EXPECT_EQ(Composite(listed, CompositeMethod(m), quiet), Reference(listed, CompositeMethod(m)))
                << "N " << count << " method " << m;
        }
    }
}

TEST(Composite, CommandCombinesTheFirstWindowOfEachCaption) {
    const Raster a = Random(4, 3, 1), b = Random(4, 3, 2);
    const ImageDocument wa = Window("a", a), wb = Window("b", b), twin = Window("a", Random(4, 3, 3));
    const ImageDocument other = Window("c", Random(3, 4, 4));
    const std::vector<const ImageDocument*> windows{&wa, &wb, &twin, &other};
    EXPECT_EQ(ResolveCaptions(windows, {"b", "a", "a"}), (std::vector<std::size_t>{1, 0, 0}));

    Recorder progress;
    const auto made = CompositeCommand(windows, {"a", "a"}, CompositeMethod::Minimum, progress);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->ImageZm, a);
    EXPECT_EQ(made->Image, a);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 33, 66, 0}));
    EXPECT_EQ(made->caption, "New");
    EXPECT_EQ(made->FilterI, ImageKind::Colour);
    EXPECT_EQ(std::pair(made->DemX, made->DemY), std::pair(4, 3));
    // One picture averaged is a copy; averages round down: 10, 10 and 11 give 10.
    EXPECT_EQ(CompositeCommand(windows, {"b"}, CompositeMethod::Average, progress)->ImageZm, b);
    Raster t10(1, 1), t11(1, 1);
    t10.bytes.assign(3, 10);
    t11.bytes.assign(3, 11);
    EXPECT_EQ(Composite({&t10, &t10, &t11}, CompositeMethod::Average, progress), t10);

    EXPECT_FALSE(CompositeCommand(windows, {}, CompositeMethod::Average, progress));
    EXPECT_THROW(CompositeCommand(windows, {"x"}, CompositeMethod::Average, progress), ImageError);
    try {
        CompositeCommand(windows, {"a", "c"}, CompositeMethod::Maximum, progress);
        ADD_FAILURE() << "a picture of another size was combined";
    } catch (const ImageError& e) {
        const std::string m = e.what();
        EXPECT_TRUE(m.find("「c」") != m.npos && m.find("3 × 4") != m.npos && m.find("4 × 3") != m.npos) << m;
    }
}

}  // namespace
}  // namespace nuvak
