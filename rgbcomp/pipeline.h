#pragma once
// The RGB composite run: calibrate, align and average the red, green and blue frames of a
// set-up, then background, white balance and the tone curve into a 24-bit colour picture.

#include <functional>
#include <optional>
#include <string>

#include "core/document.h"
#include "core/progress.h"
#include "core/raster.h"
#include "rgbcomp/setup.h"

namespace nuvak {

// Receives the notices the run shows on its way and goes on after ("Resolution Error !!" for
// a dark of another size).
using CompositeNotice = std::function<void(const std::string&)>;

// Runs the composite of the set-up. The progress bar receives the positions the workbench
// shows (10, 30, per-column 0 ... 100 while darks and frames are added, 20, 40, 50, 60, 70,
// 90, 100, then 0). Returns nothing when the red, green or blue list is empty. Throws
// CompositeError with the user's message when the run stops (a frame of another size, too
// many frames, a star that cannot be found or measured, a white-balance factor of 0) and
// FileError for a frame that cannot be read; everything allocated is released.
std::optional<Raster> RunRGBComposite(const RGBCompositeSetup& setup, Progress& progress,
                                      const CompositeNotice& notice);

// The colour image window's document for a composite result: Image and ImageZm the raster,
// MAX "255", MIN "0", ColN "3", ZomN "1.00", UndoFlg "0", FilterI "1", caption "Child".
ImageDocument RGBCompositeDocument(Raster result);

namespace detail {
// Whether a run may prepare every other frame on a worker thread (the default, where the
// machine has a second core); off, one frame at a time, with the same results.
void UseFrameWorker(bool on);
}  // namespace detail

}  // namespace nuvak
