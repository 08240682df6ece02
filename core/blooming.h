#pragma once
// Blooming removal: vertical streaks of saturated pixels in one integer channel are filled
// from their left and replaced by neighbourhood medians. Used on 8-bit colour channels by
// the blooming command and on 16-bit frames by the RGB composite workbench.

#include <cstdint>

#include "core/arrays.h"
#include "core/document.h"
#include "core/progress.h"

namespace nuvak {

// Removes the streaks of channel c (w x h) in place: cells >= t in vertical runs longer than
// l are masked; along each row a masked cell takes the value left of it and the two cells
// after the streak the value of the third; the mask grown by one cell then takes the medians
// of the radius-r neighbourhoods of that filled channel (where one exists and is above 0).
// Returns 0. Throws std::bad_alloc, with the channel unchanged, when the work arrays cannot
// be had.
int RemoveBlooming(std::int32_t t, int l, int r, int w, int h, IntArray2D& c);

// The median of the (2r + 1)^2 values of c around (x, y), taken as the ((2r + 1)^2 + 1) / 2-th
// of repeated maximum picks whose picked cells are zeroed (so it is never below 0 when more
// than one pick is made). Stores it in result and returns true; returns false, leaving result
// alone, when x <= r, y <= r, x >= w - r or y >= h - r.
bool NeighbourhoodMedian(int r, int w, int h, int x, int y, const IntArray2D& c, std::int32_t& result);

// The blue, green and red bytes of a picture copied into three arrays of its size.
void SplitChannels(const Raster& picture, IntArray2D& blue, IntArray2D& green, IntArray2D& red);
// The low bytes of three arrays of the picture's size written into its blue, green and red bytes.
void JoinChannels(const IntArray2D& blue, const IntArray2D& green, const IntArray2D& red, Raster& picture);

// Blooming removal of a document: RemoveBlooming(222, 5, 1) on the blue, green and red bytes of
// ImageZm, then the master shown on Image as well (any FilterI; UndoFlg left alone). The bar
// shows 20, 40, 60, 80, 100 and ends at 0. Throws ImageError, with the document unchanged,
// when the arrays cannot be had.
void RemoveBloomingCommand(ImageDocument& d, Progress& progress);

}  // namespace nuvak
