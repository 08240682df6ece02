#include "stacking/separate.h"

#include <cstdint>

namespace nuvak {

Raster ChannelRaster(const Raster& source, int channel) {
    Raster out(source.width, source.height, Raster::Unwritten{});
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.row(y) + channel;
        std::uint8_t* to = out.row(y);
        for (int x = 0; x < source.width; ++x, in += 3, to += 3) to[0] = to[1] = to[2] = *in;
    }
    return out;
}

std::vector<ImageDocument> SeparateRGB(const ImageDocument& source) {
    std::vector<ImageDocument> out;
    if (source.FilterI != ImageKind::Colour) return out;
    static constexpr const char* kCaptions[3] = {"Blue", "Green", "Red"};
    const Raster& master = source.ImageZm;
    out.reserve(3);
    for (int k = 0; k < 3; ++k) {
        ImageDocument& d = out.emplace_back();
        d.ImageZm = ChannelRaster(master, k);
        d.Image = d.ImageZm;
        d.caption = kCaptions[k];
        d.MAX = 255;
        d.MIN = 0;
        d.DemX = master.width;
        d.DemY = master.height;
        d.ColN = 3;
        d.ZomN = 1.0;
        d.UndoFlg = 0;
        d.FilterI = ImageKind::Colour;
    }
    return out;
}

}  // namespace nuvak
