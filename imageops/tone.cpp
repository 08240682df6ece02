#include "imageops/tone.h"

#include <cmath>
#include <cstdint>

namespace nuvak {

Raster GammaMapped(const Raster& source, double gamma) {
    // One table for the 256 byte values.
    std::uint8_t table[256];
    const long double inv255 = 1.0L / 255.0L;
    for (int v = 0; v < 256; ++v) {
        const double base = static_cast<double>(v * inv255);
        const double out = std::trunc(255 * std::pow(base, gamma));
        table[v] = out >= 255 ? 255 : out <= 0 ? 0 : static_cast<std::uint8_t>(out);
    }
    Raster result(source.width, source.height, Raster::Unwritten{});
    const std::size_t n = source.bytes.size();
    for (std::size_t i = 0; i < n; ++i) result.bytes[i] = table[source.bytes[i]];
    return result;
}

}  // namespace nuvak
