#include "tests/support/rasters.h"

#include <cstdint>
#include <random>

namespace nuvak::test {

Raster RandomRaster(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    Raster r(w, h, Raster::Unwritten{});
    for (std::uint8_t& b : r.bytes) b = std::uint8_t(rng());
    return r;
}

}  // namespace nuvak::test
