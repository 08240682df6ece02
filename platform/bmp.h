#pragma once
// BMP files through Qt's reader and writer, as 24-bit rasters.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/raster.h"

namespace nuvak::platform {

// Any BMP that Qt's BMP reader reads (1 to 32 bits per pixel, palette or not, bottom-up or
// top-down) becomes a 24-bit raster (blue, green, red); an alpha channel is dropped. Input that
// is not a BMP, or an uncompressed BMP without all its pixel rows, throws FileError naming
// `name`.
Raster DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& name);

// ReadWholeFile(path), then DecodeBmp.
Raster LoadBmp(const std::string& path);

// The bytes of a 24-bit BMP file holding the raster. Throws ImageError for an empty or
// inconsistent raster.
std::vector<std::uint8_t> EncodeBmp(const Raster& raster);

}  // namespace nuvak::platform
