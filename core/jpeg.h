#pragma once
// JPEG files: decoding to a 24-bit raster and baseline encoding of one.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/raster.h"

namespace nuvak {

// Decodes JPEG bytes into a 24-bit raster (bytes blue, green, red; row 0 at the top). A grey
// JPEG gives three equal bytes per pixel. Damaged, cut-short, CMYK or non-JPEG input throws
// FileError naming `name`.
Raster DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& name);

// ReadWholeFile(path), then DecodeJpeg.
Raster ReadJpeg(const std::string& path);

// Baseline (sequential, Huffman-coded) JPEG of the raster at the given quality, 1 to 100; the
// save command uses 70. Throws ImageError for an empty or inconsistent raster.
std::vector<std::uint8_t> EncodeJpeg(const Raster& raster, int quality = 70);

}  // namespace nuvak
