#pragma once
// RGB separation: an 8-bit colour document split into three grey documents, one per colour
// channel of its master picture.

#include <vector>

#include "core/document.h"
#include "core/raster.h"

namespace nuvak {

// A grey picture of the source's size whose three bytes at every pixel are byte channel
// (0 blue, 1 green, 2 red) of the source pixel.
Raster ChannelRaster(const Raster& source, int channel);

// The documents RGB separation creates, in creation order (the last one ends up in front):
// captions "Blue", "Green", "Red", each with Image and ImageZm = ChannelRaster of the source's
// ImageZm for channel 0, 1, 2; DemX, DemY = the size of that ImageZm; ColN 3, ZomN 1,
// UndoFlg 0, FilterI 1, MAX 255, MIN 0. Only a document of kind 1 (FilterI reads 1) is
// separated: for any other, and for one never filled, the result is empty and nothing is
// created. The source is not changed.
std::vector<ImageDocument> SeparateRGB(const ImageDocument& source);

}  // namespace nuvak
