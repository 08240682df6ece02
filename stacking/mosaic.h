#pragma once
// The mosaic: the open images side by side on a regular grid of equal cells, without overlap
// or blending, in a new picture and the new image window that shows it.

#include <optional>
#include <vector>

#include "core/document.h"
#include "core/raster.h"

namespace nuvak {

// The cell: the largest width and the largest height among the pictures (0 x 0 for none).
struct MosaicCell {
    int width = 0;
    int height = 0;
};
MosaicCell MosaicCellOf(const std::vector<const Raster*>& pictures);

// The grid of across x down cells of MosaicCellOf(pictures), filled column by column: picture
// j * down + k goes one to one into the top left of cell column j, cell row k (picture 0 top
// left, picture 1 below it). Cells without a picture, and the part of a cell its picture
// does not cover, stay white. Throws ImageError for a count of 0 or below, and when the
// picture would be too large to make.
Raster Mosaic(const std::vector<const Raster*>& pictures, int across, int down);

// The mosaic command: windows are the open image windows in child order (the dialog proposes
// 1 across and windows.size() down; its cancel ends the command before this is called). Lays
// out their master pictures (ImageZm) and returns the new window's document as the composite
// makes it (NewPictureDocument). With no window nothing is created (nullopt); counts are
// refused as Mosaic refuses them, creating nothing.
std::optional<ImageDocument> MosaicCommand(const std::vector<const ImageDocument*>& windows, int across, int down);

}  // namespace nuvak
