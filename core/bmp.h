#pragma once
// BMP files read into and written from 24-bit rasters, without any toolkit.
// Reads every depth and header the common BMP readers take; writes 24-bit files at 96 dpi.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/raster.h"

namespace nuvak {

// The most memory a BMP may ask for as it is read, in megabytes (2^20 bytes): the picture
// counted at 32 bits per pixel for 16- to 32-bit files, at 8 for run-length and palette files
// and at 1 for bitmaps. A 16000 x 16000 frame fits.
inline constexpr int kBmpLimitMb = 1100;

// Any BMP of 1, 4, 8, 16, 24 or 32 bits per pixel (palette, run-length, bit fields; rows
// bottom-up or top-down; the 12-byte core header or the 40-, 64-, 108- or 124-byte information
// header, and uncompressed 24-bit rows under any header of 40 bytes or more) becomes a 24-bit
// raster (blue, green, red); an alpha channel is dropped. Input that is not a
// BMP, an uncompressed BMP without all its pixel rows, run-length data cut short, a picture
// past kBmpLimitMb or a layout the reader does not take throws FileError naming `name`.
Raster DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& name);

// ReadWholeFile(path), then DecodeBmp.
Raster LoadBmp(const std::string& path);

// The bytes of a 24-bit BMP file holding the raster. Throws ImageError for an empty or
// inconsistent raster, or one whose file would pass the header's 2 GB.
std::vector<std::uint8_t> EncodeBmp(const Raster& raster);

}  // namespace nuvak
