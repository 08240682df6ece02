#pragma once
// JPEG files written by the library directly, for inputs the program's own encoder never
// makes (grey, CMYK, progressive).

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "tests/support/files.h"

namespace nuvak::test {

// w x h samples of `components` bytes each, row by row, in colour space `in`. `stored` is the
// colour space written to the file (JCS_UNKNOWN: the library's default for `in`); quality -1
// keeps the library's default. The input is always valid, so the library's default error
// handling (which ends the program) never runs.
Bytes LibraryJpeg(int w, int h, int components, J_COLOR_SPACE in, const std::uint8_t* samples,
                  J_COLOR_SPACE stored = JCS_UNKNOWN, bool progressive = false, int quality = -1);

}  // namespace nuvak::test
