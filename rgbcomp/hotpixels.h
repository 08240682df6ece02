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

}  // namespace nuvak
