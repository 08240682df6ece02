#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>

#include "stacking/separate.h"

namespace nuvak {
namespace {

ImageDocument Document(Raster master, std::optional<ImageKind> kind = ImageKind::Colour) {
    ImageDocument d;
    d.Image = Raster(master.width, master.height);  // white: the channels must come from the master
    d.ImageZm = std::move(master);
    d.FilterI = kind;
    return d;
}

TEST(Separate, EachDocumentHoldsOneChannelOfTheMaster) {
    Raster red(1, 1);  // blue 0, green 0, red 255
    red.pixel(0, 0)[0] = red.pixel(0, 0)[1] = 0;
    Raster random(13, 5, Raster::Unwritten{});
    std::mt19937 gen(1);
    for (auto& b : random.bytes) b = std::uint8_t(gen());
    for (const Raster& master : {red, random, Raster(1, 7), Raster(7, 1)}) {
        const std::vector<ImageDocument> out = SeparateRGB(Document(master));
        ASSERT_EQ(out.size(), 3u);
        const char* captions[] = {"Blue", "Green", "Red"};
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(testing::Message() << master.width << "x" << master.height << " channel " << k);
            const ImageDocument& d = out[k];
            Raster expected(master.width, master.height);
            for (int y = 0; y < master.height; ++y)
                for (int x = 0; x < master.width; ++x)
                    for (int c = 0; c < 3; ++c) expected.pixel(x, y)[c] = master.pixel(x, y)[k];
            EXPECT_EQ(d.ImageZm, expected);
            EXPECT_EQ(d.Image, expected);
            EXPECT_EQ(d.caption, captions[k]);
            EXPECT_EQ(d.DemX, master.width);
            EXPECT_EQ(d.DemY, master.height);
            EXPECT_TRUE(d.FilterI == ImageKind::Colour && d.ColN == 3 && d.ZomN == 1.0 && d.UndoFlg == 0 &&
                        d.MAX == 255 && d.MIN == 0);
        }
    }
    EXPECT_EQ(SeparateRGB(Document(red))[2].Image.colour(0, 0), 0xFFFFFFu);
}

TEST(Separate, OnlyEightBitColourFromBmpOrJpegIsSeparated) {
    for (const auto& kind : {std::optional(ImageKind::Mono16), std::optional(ImageKind::PgmColour),
                             std::optional<ImageKind>()})
        EXPECT_TRUE(SeparateRGB(Document(Raster(3, 2), kind)).empty());
}

}  // namespace
}  // namespace nuvak
