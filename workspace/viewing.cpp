#include "workspace/viewing.h"

#include "core/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace nuvak {

std::optional<double> ZoomIn(double z) {
    if (z >= kZoomMax) return std::nullopt;
    return z * 2;
}

std::optional<double> ZoomOut(double z) {
    if (z <= kZoomMin) return std::nullopt;
    return z / 2;
}

std::string ZoomPercentText(double z) {
    // One decimal, locale-independent (a decimal comma must not appear).
    return FormatDecimals(z * 100, 1) + "%";
}

int SteppedUpperLevel(int hi, int lo, bool raise) {
    const double factor = raise ? 0.8 : 1.2;
    const long double level = static_cast<long double>(hi - lo) * static_cast<long double>(factor) + lo;
    return static_cast<int>(std::trunc(level));
}

double SteppedGain(double contrast, bool raise) { return raise ? contrast * 1.1 : contrast * (1 / 1.1); }

Raster ApplyGain(const Raster& master, double gain) {
    Raster out(master.width, master.height);
    std::uint8_t table[256];
    for (int b = 0; b < 256; ++b) {
        const double v = std::trunc(b * gain);
        table[b] = v >= 255 ? 255 : v <= 0 ? 0 : static_cast<std::uint8_t>(v);
    }
    std::transform(master.bytes.begin(), master.bytes.end(), out.bytes.begin(),
                   [&](std::uint8_t b) { return table[b]; });
    return out;
}

PicturePoint ShownToPicture(double zoom, int x, int y) {
    const double step = 1 / zoom;
    return {static_cast<int>(std::trunc(x * step)), static_cast<int>(std::trunc(y * step))};
}

std::optional<std::string> ReadoutText(const ImageDocument& d, int x, int y) {
    const auto [bx, by] = ShownToPicture(d.ZomN, x, y);
    if (bx < 0 || by < 0 || bx >= d.Image.width || by >= d.Image.height) return std::nullopt;
    char buf[96];
    switch (d.kind()) {
        case ImageKind::Colour: {
            const std::uint8_t* p = d.Image.pixel(bx, by);
            std::snprintf(buf, sizeof buf, "R=%d  G=%d  B=%d   (%d,%d)", p[2], p[1], p[0], bx, by);
            return buf;
        }
        case ImageKind::Mono16: std::snprintf(buf, sizeof buf, "(%d,%d)", bx, by); return buf;
        case ImageKind::PgmColour: break;
    }
    return std::nullopt;
}

std::string MemoryLoadText(int load) { return std::to_string(load) + "%"; }

}  // namespace nuvak
