#pragma once
// Tone mappings of 8-bit colour pictures.

#include "core/raster.h"

namespace nuvak {

// Every byte v of the picture mapped to trunc(255 * (v * (1/255))^gamma), 1/255 taken in
// extended precision and the power in double precision; gamma > 0.
Raster GammaMapped(const Raster& source, double gamma);

}  // namespace nuvak
