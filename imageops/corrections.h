#pragma once
// Corrections of star images: the coma correction, and the guide-miss canceller with the
// kernel rotation and the thresholded convolution it is built from.

#include <cstdint>

#include "core/arrays.h"
#include "core/document.h"
#include "core/progress.h"

namespace nuvak {

// The guide-miss canceller's settings, kept while the program runs; the panel's OK writes them.
struct GuideMissSettings {
    int direction = 0;       // direction of the flow in degrees
    int flow = 1;            // amount of flow in pixels
    double blur = 0.2;       // amount of blur in pixels (the blur dialog stores the same setting)
    int threshold = 0;       // pixels below it are blurred
    bool confirmed = false;  // set by the panel's first OK and never cleared
};

// Rotates the a x b kernel k ([i][j], i along x) by theta degrees in place: each cell of the
// middle of a doubled, zero-padded copy takes the bilinear sample of that copy at its rotated
// position; cells whose sample would leave the copy keep their values. Theta 0 changes nothing.
void RotateKernel(double theta, int a, int b, DoubleArray2D& k);

// The convolution of ConvolveKernel (k normalised in place, taps outside the image skipped,
// truncation toward zero, negatives 0) for the pixels of c below t only, its taps one pixel
// further right and down: tap (i, j) reads c[x + i - a/2 + 1][y + j - b/2 + 1]. Pixels at or
// above t keep their values (negatives become 0). Returns 0; throws std::bad_alloc, with c
// unchanged, when the work arrays cannot be had.
int ConvolveKernelBelow(std::int32_t t, int a, int b, DoubleArray2D& k, int w, int h, IntArray2D& c);

// Coma correction: on a kind 1 document, shows ImageZm mapped with gamma on Image and sets
// UndoFlg (the axis position and the amount of coma drive nothing); other kinds stay
// unchanged. Throws ImageError for a gamma not above 0.
void ComaCorrectCommand(ImageDocument& d, int axisX, int axisY, double comaAmount, double gamma);

// Guide-miss canceller on Image (any kind; ImageZm and UndoFlg stay): sharpens each channel
// with the kernel -1, 3, -1 along x at 0, 2m and 2m + 2 of a (2m + 3)-square, m = max(1, flow),
// turned by the direction; then blurs the pixels below the threshold with a Gaussian of the
// blur amount. Nothing happens before the panel was confirmed. The bar shows the per cent of
// rows done and ends at 0. Throws ImageError, with the document unchanged, for a blur amount
// not above 0, for a flow above 1 whose kernel side is wider or higher than Image, for a
// turned kernel whose weights nearly cancel, and when memory runs short.
void GuideMissCancelCommand(ImageDocument& d, const GuideMissSettings& s, Progress& progress);

}  // namespace nuvak
