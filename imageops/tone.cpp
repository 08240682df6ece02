#include "imageops/tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/error.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// Every byte of the source through a table of the 256 byte values, into out of the same size.
void MapInto(const Raster& source, const std::uint8_t (&table)[256], Raster& out) {
    const std::size_t n = source.bytes.size();
    const std::uint8_t* in = source.bytes.data();
    std::uint8_t* to = out.bytes.data();
    for (std::size_t i = 0; i < n; ++i) to[i] = table[in[i]];
}

void GammaTable(double gamma, std::uint8_t (&table)[256]) {
    const long double inv255 = 1.0L / 255.0L;
    for (int v = 0; v < 256; ++v) {
        const double base = static_cast<double>(v * inv255);
        const double out = std::trunc(255 * std::pow(base, gamma));
        table[v] = out >= 255 ? 255 : out <= 0 ? 0 : static_cast<std::uint8_t>(out);
    }
}

void SabattierTable(double step, std::uint8_t (&table)[256]) {
    for (int v = 0; v < 256; ++v) {
        // |fmod(...)| < 256, so the integer fits; its low 8 bits are kept (negative steps wrap).
        const int out = static_cast<int>(std::trunc(std::fmod(v * 256 / step, 256.0)));
        table[v] = static_cast<std::uint8_t>(out);
    }
}

// The weights 5, 5, -4 divided by their sum, as a normalising convolution holds them.
constexpr double kNear = 5.0 / 6.0;
constexpr double kBelow = -4.0 / 6.0;

// The solarized bytes of one row from the rows above and below it (null outside the
// picture). Each product is rounded before it is added, in the order above, itself, below,
// so the sums are those of the convolution bit for bit: contracting them into fused
// multiply-adds would change some truncated results.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("fp-contract=off")))
#endif
void SolarizedRow(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                  std::uint8_t* out, std::size_t n) {
    if (above && below) {
        for (std::size_t i = 0; i < n; ++i) {
            const double u = kNear * int(above[i]);
            const double p = kNear * int(here[i]);
            const double d = kBelow * int(below[i]);
            const int v = int((u + p) + d);  // truncates toward zero
            out[i] = std::uint8_t(std::clamp(v, 0, 255));
        }
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double acc = 0;
        if (above) acc += kNear * int(above[i]);
        acc += kNear * int(here[i]);
        if (below) acc += kBelow * int(below[i]);
        out[i] = std::uint8_t(std::clamp(int(acc), 0, 255));
    }
}

void SolarizeInto(const Raster& source, Raster& out) {
    const int h = source.height;
    const std::size_t n = source.stride();
    for (int y = 0; y < h; ++y) {
        SolarizedRow(y > 0 ? source.row(y - 1) : nullptr, source.row(y), y + 1 < h ? source.row(y + 1) : nullptr,
                     out.row(y), n);
    }
}

// A picture of the source's size filled by into(source, picture).
template <class Into>
Raster Made(const Raster& source, Into into) {
    Raster result(source.width, source.height, Raster::Unwritten{});
    into(source, result);
    return result;
}

// Draws the picture into(ImageZm, ·) makes onto the display at (0, 0) and sets UndoFlg. When
// the sizes agree it is written straight into the display, whose pages are already in use,
// rather than into a new picture first; otherwise a new picture is made and the part that
// overlaps the display copied. A picture that cannot be allocated changes nothing.
template <class Into>
void ShowOnDisplay(ImageDocument& d, Into into) {
    const Raster& master = d.ImageZm;
    Raster& display = d.Image;
    if (display.width == master.width && display.height == master.height) {
        into(master, display);
    } else {
        try {
            const Raster picture = Made(master, into);
            const int w = std::min(display.width, picture.width), h = std::min(display.height, picture.height);
            for (int y = 0; y < h; ++y) std::memcpy(display.row(y), picture.row(y), std::size_t(w) * 3);
        } catch (const std::bad_alloc&) {
            throw ImageError(msg::kOutOfMemory);
        }
    }
    d.UndoFlg = 1;
}

}  // namespace

Raster GammaMapped(const Raster& source, double gamma) {
    std::uint8_t table[256];
    GammaTable(gamma, table);
    return Made(source, [&](const Raster& in, Raster& out) { MapInto(in, table, out); });
}

Raster Solarized(const Raster& source) { return Made(source, SolarizeInto); }

bool SabattierStepUsable(double step) { return std::isfinite(255 * 256 / step); }

Raster SabattierMapped(const Raster& source, double step) {
    std::uint8_t table[256];
    SabattierTable(step, table);
    return Made(source, [&](const Raster& in, Raster& out) { MapInto(in, table, out); });
}

void GammaCommand(ImageDocument& d, double gamma) {
    if (d.kind() != ImageKind::Colour) return;
    if (!(gamma > 0)) throw ImageError(msg::kToneGammaNotPositive);
    std::uint8_t table[256];
    GammaTable(gamma, table);
    ShowOnDisplay(d, [&](const Raster& in, Raster& out) { MapInto(in, table, out); });
}

void SolarizeCommand(ImageDocument& d) {
    if (d.kind() != ImageKind::Colour) return;
    ShowOnDisplay(d, SolarizeInto);
}

void SabattierCommand(ImageDocument& d, double step) {
    if (!SabattierStepUsable(step)) throw ImageError(msg::kToneStepUnusable);
    std::uint8_t table[256];
    SabattierTable(step, table);
    ShowOnDisplay(d, [&](const Raster& in, Raster& out) { MapInto(in, table, out); });
}

}  // namespace nuvak
