#include "imageops/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace nuvak {

namespace {

// Draws a result at (0, 0) on the display and the master: both have the image's size, so
// the result replaces them.
void Show(ImageDocument& d, Raster result) {
    d.Image = result;
    d.ImageZm = std::move(result);
}

}  // namespace

void MirrorCommand(ImageDocument& d) {
    if (d.kind() != ImageKind::Colour) return;
    const Raster& source = d.ImageZm;
    const int w = source.width, h = source.height;
    Raster result(w, h, Raster::Unwritten{});
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* out = result.row(y) + std::size_t(w) * 3;
        for (int x = 0; x < w; ++x, in += 3) {
            out -= 3;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
    Show(d, std::move(result));
}

void FlipCommand(ImageDocument& d) {
    if (d.kind() != ImageKind::Colour) return;
    const Raster& source = d.ImageZm;
    const int h = source.height;
    Raster result(source.width, h, Raster::Unwritten{});
    for (int y = 0; y < h; ++y) std::memcpy(result.row(y), source.row(h - 1 - y), source.stride());
    Show(d, std::move(result));
}

void RotateCommand(ImageDocument& d, Progress& progress) {
    const Raster& source = d.ImageZm;
    const int w = source.width, h = source.height;
    Raster result(w, h);
    const double c = std::cos(0.1), s = std::sin(0.1);
    const int hw = w / 2, hh = h / 2;
    const double offX = std::trunc(c * hw + s * hh - hw);
    const double offY = std::trunc(-s * hw + c * hh - hh);
    for (int i = 1; i <= h - 2; ++i) {
        progress.setPosition(100 * i / h);
        std::uint8_t* out = result.row(i);
        for (int j = 1; j <= w - 2; ++j) {
            const double sx = c * j + s * i - offX;
            const double sy = -s * j + c * i - offY;
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            if (ix < 1 || iy < 1 || ix >= w || iy >= h) continue;
            const double fx = sx - ix, fy = sy - iy;
            const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
            // The sample in the last column takes the edge column as its right-hand neighbour.
            const std::size_t x0 = std::size_t(ix) * 3, x1 = std::size_t(std::min(ix + 1, w - 1)) * 3;
            const std::uint8_t* above = source.row(iy - 1);
            const std::uint8_t* below = source.row(iy);
            std::uint8_t* o = out + std::size_t(j - 1) * 3;
            for (int k = 0; k < 3; ++k) {
                const double v = w00 * above[x0 + k] + w10 * above[x1 + k] + w01 * below[x0 + k] + w11 * below[x1 + k];
                o[k] = static_cast<std::uint8_t>(v);
            }
        }
    }
    Show(d, std::move(result));
    d.UndoFlg = 1;
    progress.setPosition(0);
}

}  // namespace nuvak
