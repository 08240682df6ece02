#pragma once
// Geometric transforms of an image window in place: mirror, flip and a fixed small rotation.
// Each reads the master picture and draws its result on both the display and the master.

#include "core/document.h"
#include "core/progress.h"

namespace nuvak {

// Mirrors the master picture left to right onto Image and ImageZm; only on 8-bit colour
// documents (FilterI 1), otherwise nothing changes. UndoFlg is left as it is.
void MirrorCommand(ImageDocument& d);

// Flips the master picture top to bottom onto Image and ImageZm; only on FilterI 1.
void FlipCommand(ImageDocument& d);

// Turns the master picture 0.1 radian clockwise about its centre with bilinear sampling onto
// Image and ImageZm (any FilterI); rows 0 and H - 1, columns W - 2 and W - 1 and positions
// whose source lies outside stay white. Sets UndoFlg, shows the rows done, ends at 0.
void RotateCommand(ImageDocument& d, Progress& progress);

}  // namespace nuvak
