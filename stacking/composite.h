#pragma once
// The composite: several pictures of one size combined pixel by pixel, each of the three
// bytes (blue, green, red) on its own, into a new picture and the new image window that
// shows it. The images are taken as they stand: no alignment, calibration or weighting.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/progress.h"
#include "core/raster.h"

namespace nuvak {

// The methods of the composite dialog, numbered as its radio buttons.
enum class CompositeMethod : int {
    Average = 1,        // "平均": trunc(sum / N)
    Add = 2,            // "加算": the sum, saturated at 255
    Maximum = 3,        // "最大値"
    Minimum = 4,        // "最小値"
    ExpectedValue = 5,  // "期待値": the median; for an even N the mean of the two middle values, truncated
};

// Messages of the composite and the mosaic (to be moved to the message resources).
// The pictures combined with the method into a new picture of their common size: byte by
// byte over the N pictures in the order given (the order changes no result). All must have
// the size of the first; at least one picture. Row y of the result is reported to progress
// as trunc(y / (H * 0.01)) before it is made; progress ends at 0.
Raster Composite(const std::vector<const Raster*>& pictures, CompositeMethod method, Progress& progress);

// For each caption, the index of the first window in child order that carries it (two windows
// with one caption both resolve to the first). Throws ImageError naming a caption no window has.
std::vector<std::size_t> ResolveCaptions(const std::vector<const ImageDocument*>& windows,
                                         const std::vector<std::string>& captions);

// The composite command: windows are the open image windows in child order, captions the
// dialog's right list in combining order. Combines the master pictures (ImageZm) of the
// windows the captions name and returns the new window's document: kind 1, caption "New",
// the result on Image and ImageZm, DemX x DemY its size, MAX 255, MIN 0, ColN 1, ZomN 1,
// UndoFlg 1. With no caption nothing is created (nullopt). Throws ImageError, creating
// nothing, when a listed master picture differs in size from the first one's or a caption
// names no window. The handler activates the windows of ResolveCaptions itself.
std::optional<ImageDocument> CompositeCommand(const std::vector<const ImageDocument*>& windows,
                                              const std::vector<std::string>& captions, CompositeMethod method,
                                              Progress& progress);

// The document of a new kind 1 window that shows picture, as the composite and the mosaic
// create it (see CompositeCommand).
ImageDocument NewPictureDocument(Raster picture);

}  // namespace nuvak
