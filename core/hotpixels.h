#pragma once
// Hot-pixel removal on one 16-bit channel.

#include "core/arrays.h"

namespace nuvak {

// Replaces every interior pixel that is more than ratio times brighter than one of its four
// direct neighbours (all measured above the smallest of the 3 x 3 values less one) by the
// mean of those four, truncated. Border pixels never change; the decisions read a copy, so
// a replaced pixel does not influence its neighbours. Returns 0; without memory for the
// copy the channel stays as it was.
int RemoveHotPixels(double ratio, int w, int h, IntArray2D& c);

// The same decisions with the copy held by the caller, over a band of rows: every pixel of
// rows y0 .. y1 - 1 of c receives p's value, or the neighbours' mean where p has a hot pixel
// there. Interior means 1 <= x <= w - 2 and 1 <= y <= h - 2 of the whole w x h image, so a
// band's first and last rows are judged with their neighbours in p. Reads p only over rows
// y0 - 1 .. y1 (within the image). p holds the image's rows from pRow0 on (p[x][y - pRow0] is
// row y), so that a band of rows read on its own serves; c, a distinct array, holds them from
// cRow0 on and must reach row y1 - 1. Ratio 2 takes integer arithmetic with the same results:
// 32-bit integers on the portable path, 16-bit lanes for columns of 0 ... 65535 on the
// vector paths (core/simd.h chooses).
void RemoveHotPixelsRows(double ratio, int w, int h, const IntArray2D& p, IntArray2D& c, int y0, int y1, int pRow0 = 0,
                         int cRow0 = 0);

}  // namespace nuvak
