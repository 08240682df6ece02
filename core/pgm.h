#pragma once
// The reader behind the open dialog's "PGM(*.pgm)" entry: binary Netpbm files whose pixels
// are three bytes (red, green, blue), plus true one-byte grey files ("P5").
//
// Layout: a magic word, then width, height and maximum value as decimal numbers separated
// by whitespace and "#" comments, then exactly one whitespace byte, then the samples row by
// row from the top. Samples are taken as they are, never scaled by the maximum value.
//   "P5"               one byte per pixel, read as grey: R = G = B = the byte
//   "P1" "P2" "P3" "P4" "P7"   refused (bitmaps, text forms, tagged header)
//   any other word     three bytes per pixel: red, green, blue

#include <iosfwd>
#include <string>

#include "core/arrays.h"
#include "core/fileio.h"

namespace nuvak {

// The largest width or height the reader accepts.
inline constexpr int kPgmMaxSide = 16000;
// What the reader writes to its diagnostic stream, before the name, for a file it cannot open.
inline constexpr char kPgmOpenDiagnostic[] = "Couldn't find ";

struct PgmColour {
    int width = 0;
    int height = 0;
    IntArray2D R, G, B;  // each width x height, elements 0 ... 255, indexed [x][y]
};

// Reads the file at path. Throws FileError naming the file and the problem. When diag is
// given, the reader's progress lines go there.
PgmColour ReadPgmColour(const std::string& path, std::ostream* diag = nullptr);

// The same from any byte source (tests, fuzzing); messages name source.name().
PgmColour ReadPgmColour(ByteSource& source, std::ostream* diag = nullptr);

}  // namespace nuvak
