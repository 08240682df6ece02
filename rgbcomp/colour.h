#pragma once
// The last stages of the RGB composite: the background slope of a channel, the sky
// background at a point, the white balance with the arctangent tone curve, and the colour
// picture of the three channels.

#include <cstdint>

#include "core/arrays.h"
#include "core/raster.h"

namespace nuvak {

// Removes a linear background slope from c in place: the smallest 5 x 5 median over each of
// four sample regions (W/15 x H/15, left and right at mid-height, top and bottom at
// mid-width) gives gx = (left - right) / W and gy = (top - bottom) / H, and every pixel
// becomes trunc(x gx + c + y gy). Nothing changes when a region is empty or reaches a pixel
// without a 5 x 5 median (sizes below about 30). Returns 0.
int RemoveBackgroundSlope(int w, int h, IntArray2D& c);

// The mean of the 11 x 11 block around (bx, by) clipped to the frame: the sum times 1/121
// for a whole block, else the sum over the pixels inside divided by their count (0 with none).
double BackgroundMean(int w, int h, int bx, int by, const IntArray2D& c);

// The white balance and tone curve of one channel, in place: v = (c - background) / factor
// * k + bgl, below 0 taken as 0, then trunc(200 arctan(v / 200)) clamped to 0 ... 255.
void ToneChannel(double background, double factor, double k, int bgl, int w, int h, IntArray2D& c);

// The 24-bit picture of three channels of 0 ... 255: blue = b, green = g, red = r.
Raster ColourRaster(int w, int h, const IntArray2D& r, const IntArray2D& g, const IntArray2D& b);

}  // namespace nuvak
