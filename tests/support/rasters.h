#pragma once
// Pictures for the tests of the image commands.

#include "core/raster.h"

namespace nuvak::test {

// A w x h picture of pseudo-random bytes, the same for the same seed.
Raster RandomRaster(int w, int h, unsigned seed);

}  // namespace nuvak::test
