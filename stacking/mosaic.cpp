#include "stacking/mosaic.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "stacking/composite.h"

namespace nuvak {

MosaicCell MosaicCellOf(const std::vector<const Raster*>& pictures) {
    MosaicCell cell;
    for (const Raster* p : pictures) {
        cell.width = std::max(cell.width, p->width);
        cell.height = std::max(cell.height, p->height);
    }
    return cell;
}

Raster Mosaic(const std::vector<const Raster*>& pictures, int across, int down) {
    if (across <= 0 || down <= 0)
        throw ImageError(FillMessage(msg::kMosaicCountNotPositive, across, down));
    const MosaicCell cell = MosaicCellOf(pictures);
    constexpr long long kLargest = std::numeric_limits<int>::max();
    const long long w = (long long)cell.width * across, h = (long long)cell.height * down;
    if (w > kLargest / 3 || h > kLargest) throw ImageError(msg::kOutOfMemory);
    Raster out;
    try {
        out = Raster(int(w), int(h));
    } catch (const std::bad_alloc&) {
        throw ImageError(msg::kOutOfMemory);
    }
    const std::size_t cells = std::size_t(across) * std::size_t(down);
    for (std::size_t i = 0; i < pictures.size() && i < cells; ++i) {
        const int j = int(i / std::size_t(down)), k = int(i % std::size_t(down));
        const Raster& p = *pictures[i];
        for (int y = 0; y < p.height; ++y)
            std::memcpy(out.pixel(cell.width * j, cell.height * k + y), p.row(y), p.stride());
    }
    return out;
}

std::optional<ImageDocument> MosaicCommand(const std::vector<const ImageDocument*>& windows, int across, int down) {
    if (windows.empty()) return std::nullopt;
    std::vector<const Raster*> pictures;
    pictures.reserve(windows.size());
    for (const ImageDocument* d : windows) pictures.push_back(&d->ImageZm);
    return NewPictureDocument(Mosaic(pictures, across, down));
}

}  // namespace nuvak
