#pragma once
// Convolution of an integer channel with a real kernel, shared by the solarization and the
// guide-miss canceller.

#include "core/arrays.h"

namespace nuvak {

// Replaces channel c (W x H) by its convolution with the a x b kernel k ([i][j], i along x),
// centred on (a / 2, b / 2). The kernel is first divided by the sum of its values, in
// place. Taps outside the image are skipped without renormalising; results are truncated
// toward zero and negative ones become 0 (values above 255 stay). Returns 0.
int ConvolveKernel(int a, int b, DoubleArray2D& k, int w, int h, IntArray2D& c);

}  // namespace nuvak
