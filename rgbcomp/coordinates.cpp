#include "rgbcomp/coordinates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "core/fits.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr int kGridStart = 10;   // first sampled column and row, and the margin at the far edges
constexpr int kGridStep = 4;
constexpr int kStretch = 50;     // display value of a pixel at the mean
constexpr int kTileColumns = 32; // columns written per pass, so that the [x][y] reads stay in cache

struct GridStatistics {
    double mean = 0;
    int minimum = 0;
};

GridStatistics sampleGrid(const IntArray2D& s, int w, int h) {
    const bool grid = w - kGridStart > kGridStart && h - kGridStart > kGridStart;
    const int start = grid ? kGridStart : 0;
    const int step = grid ? kGridStep : 1;
    const int endX = grid ? w - kGridStart : w;
    const int endY = grid ? h - kGridStart : h;
    long double sum = 0;
    long long count = 0;
    std::int64_t minimum = 65536;
    for (int x = start; x < endX; x += step)
        for (int y = start; y < endY; y += step) {
            const std::int32_t v = s[x][y];
            sum += v;
            ++count;
            minimum = std::min<std::int64_t>(minimum, v);
        }
    GridStatistics g;
    if (count > 0) g.mean = double(sum / count);
    g.minimum = static_cast<int>(minimum);
    return g;
}

}  // namespace

CoordinateFrame CoordinateFrameOf(const IntArray2D& samples, int w, int h, const std::string& caption) {
    const GridStatistics g = sampleGrid(samples, w, h);
    const double divisor = g.mean > g.minimum ? g.mean - g.minimum : 1.0;
    auto displayOf = [&](std::int64_t v) -> std::uint8_t {
        const double d = std::trunc(double((v - g.minimum) * kStretch) / divisor);
        return static_cast<std::uint8_t>(std::clamp(d, 0.0, 255.0));
    };
    // Samples after the zero offset lie in 0 ... 65535: one look-up per pixel.
    std::vector<std::uint8_t> display(65536);
    for (int v = 0; v < 65536; ++v) display[v] = displayOf(v);

    CoordinateFrame out;
    out.mean = g.mean;
    out.minimum = g.minimum;
    ImageDocument& d = out.document;
    d.Image = Raster(w, h, Raster::Unwritten{});
    d.ImageZm = Raster(w, h, Raster::Unwritten{});
    d.ImageZm2 = Raster(w, h, Raster::Unwritten{});
    for (int x0 = 0; x0 < w; x0 += kTileColumns) {
        const int x1 = std::min(w, x0 + kTileColumns);
        for (int y = 0; y < h; ++y) {
            std::uint8_t* grey = d.Image.pixel(x0, y);
            std::uint8_t* low = d.ImageZm.pixel(x0, y);
            std::uint8_t* high = d.ImageZm2.pixel(x0, y);
            for (int x = x0; x < x1; ++x, grey += 3, low += 3, high += 3) {
                const std::int32_t v = samples[x][y];
                const bool inRange = v >= 0 && v <= 65535;
                const std::uint8_t g8 = inRange ? display[v] : displayOf(v);
                grey[0] = grey[1] = grey[2] = g8;
                const std::int32_t folded = std::clamp<std::int32_t>(v, 0, 65535);
                low[0] = static_cast<std::uint8_t>(folded % 256);
                high[0] = static_cast<std::uint8_t>(folded / 256);
                low[1] = low[2] = high[1] = high[2] = 0;
            }
        }
    }
    d.FilterI = ImageKind::Mono16;
    d.DemX = w;
    d.DemY = h;
    d.ColN = 1;
    d.ZomN = 1.0;
    d.UndoFlg = 0;
    d.Average = GeneralDecimal(g.mean);
    d.Minimum = g.minimum;
    d.MAX = static_cast<int>(std::trunc(g.mean));
    d.MIN = g.minimum;
    d.caption = caption;
    return out;
}

CoordinateFrame ReadCoordinateFrame(const std::string& path, std::ostream* diag) {
    const FitsHeader header = ReadFitsHeader(path, diag);
    const int w = header.width, h = header.height;
    IntArray2D samples;
    if (AllocIntArray2D(w, h, samples, diag) != 0) throw FileError(path, msg::kFitsNoMemory);
    ReadFits(path, samples, diag);
    ApplyBzero(32768, w, h, samples);
    return CoordinateFrameOf(samples, w, h, FileNameOf(path));
}

}  // namespace nuvak
