#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "core/error.h"
#include "stacking/mosaic.h"

namespace nuvak {
namespace {

// Pixel by pixel: the cell it lies in, that cell's picture counted column by column, and
// white where there is no picture or the picture ends.
Raster Reference(const std::vector<const Raster*>& pictures, int across, int down) {
    const MosaicCell cell = MosaicCellOf(pictures);
    Raster out(cell.width * across, cell.height * down);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const std::size_t i = std::size_t(x / cell.width) * std::size_t(down) + std::size_t(y / cell.height);
            const int px = x % cell.width, py = y % cell.height;
            if (i < pictures.size() && px < pictures[i]->width && py < pictures[i]->height)
                for (int c = 0; c < 3; ++c) out.pixel(x, y)[c] = pictures[i]->pixel(px, py)[c];
        }
    return out;
}

TEST(Mosaic, FillsTheGridColumnByColumn) {
    struct Case {
        std::vector<std::pair<int, int>> sizes;
        int across, down, width, height;
    };
    const Case cases[] = {
        {{{100, 80}, {120, 60}}, 1, 2, 120, 160},         // the defaults: stacked downwards
        {{{100, 80}, {120, 60}}, 2, 1, 240, 80},          // side by side
        {{{5, 4}, {3, 6}, {4, 4}}, 2, 2, 10, 12},         // a cell without a picture
        {{{5, 4}, {3, 6}, {4, 4}, {2, 2}}, 1, 2, 5, 12},  // more pictures than cells
    };
    for (const Case& c : cases) {
        std::vector<ImageDocument> docs(c.sizes.size());
        std::vector<const ImageDocument*> windows;
        std::vector<const Raster*> pictures;
        std::mt19937 rng(7);
        for (std::size_t i = 0; i < docs.size(); ++i) {
            docs[i].ImageZm = Raster(c.sizes[i].first, c.sizes[i].second);
            for (std::uint8_t& b : docs[i].ImageZm.bytes) b = std::uint8_t(rng());
            windows.push_back(&docs[i]);
            pictures.push_back(&docs[i].ImageZm);
        }
        const auto made = MosaicCommand(windows, c.across, c.down);
        ASSERT_TRUE(made);
        EXPECT_EQ(std::pair(made->DemX, made->DemY), std::pair(c.width, c.height));
        EXPECT_EQ(made->ImageZm, Reference(pictures, c.across, c.down));
        EXPECT_EQ(made->Image, made->ImageZm);
    }
}

TEST(Mosaic, CountsOfZeroOrBelowAndNoWindowCreateNothing) {
    ImageDocument d;
    d.ImageZm = Raster(3, 2);
    for (auto [across, down] : {std::pair{0, 1}, {1, 0}, {-1, -2}, {-1, 2}})
        EXPECT_THROW(MosaicCommand({&d}, across, down), ImageError) << across << " x " << down;
    EXPECT_FALSE(MosaicCommand({}, 1, 1));
}

}  // namespace
}  // namespace nuvak
