#pragma once
// Neighbourhood filters of an image window in place: blur, high-pass and low-pass. Each
// channel byte of the master picture is filtered on its own; the result is drawn on both the
// display and the master, and the positions a filter does not write turn white.

#include "core/document.h"
#include "core/progress.h"

namespace nuvak {

// Blur: (P(c-1, y-1) + P(c+1, y-1) + P(c, y-2) + 5 P(c, y)) / 8, truncated, on rows 2 ... H-3
// and columns 0 ... W-5 (column 0 takes itself as its left neighbour). Any FilterI. Sets
// UndoFlg; the bar shows trunc(y / H * 200) per row and ends at 0.
void BlurCommand(ImageDocument& d, Progress& progress);

// High-pass: 4 P - the four neighbours, clamped to 0 ... 255, with 255 kept as 255, on rows
// 1 ... H-2 and every column (the edge pixel stands in for a neighbour outside the row).
// Any FilterI. Sets UndoFlg; progress as the blur.
void HighPassCommand(ImageDocument& d, Progress& progress);

// Low-pass: 5 P - the four neighbours in the high-pass picture E (whose rows 0 and H-1 are
// white), clamped to 0 ... 255, on rows 1 ... H-2 and every column. Any FilterI. Sets UndoFlg;
// progress as the blur.
void LowPassCommand(ImageDocument& d, Progress& progress);

}  // namespace nuvak
