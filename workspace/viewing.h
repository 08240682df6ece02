#pragma once
// How an image window is shown without changing its master data: zoom steps, the
// brightness steps "H" and "L", the pixel readout and the memory gauge text.

#include <optional>
#include <string>

#include "core/document.h"
#include "core/raster.h"

namespace nuvak {

inline constexpr double kZoomMax = 16;
inline constexpr double kZoomMin = 0.0625;

// The next zoom factor, or nothing at the limit (16 in, 0.0625 out).
std::optional<double> ZoomIn(double z);
std::optional<double> ZoomOut(double z);
// The zoom in percent with one decimal and "%": 2 -> "200.0%".
std::string ZoomPercentText(double z);

// "H" (raise) and "L" (lower) on a 16-bit window: the new upper level
// trunc((hi - lo) * 0.8 + lo) or trunc((hi - lo) * 1.2 + lo), with the double constants and
// the product and sum in extended precision: 1000/2000 -> "H" 1800 -> "L" 1959.
int SteppedUpperLevel(int hi, int lo, bool raise);

// "H" and "L" on an 8-bit colour window: the new cumulative gain.
double SteppedGain(double contrast, bool raise);
// Every byte b of the master becomes min(255, trunc(b * gain)).
Raster ApplyGain(const Raster& master, double gain);

// The picture pixel under position (X, Y) of the picture shown at zoom z: trunc(X * (1 / z)),
// trunc(Y * (1 / z)). The readout and the star pick both go through it.
struct PicturePoint {
    int x = 0, y = 0;
};
PicturePoint ShownToPicture(double zoom, int x, int y);

// The readout for the mouse at (X, Y) on the picture shown at zoom z: the raster position
// is trunc(X * (1 / z)). Kind 1: "R=%d  G=%d  B=%d   (%d,%d)"; kind 2: "(%d,%d)"; kind 3 and
// positions off the raster: nothing.
std::optional<std::string> ReadoutText(const ImageDocument& document, int x, int y);

// The memory gauge's text: the load and "%" (37 -> "37%").
std::string MemoryLoadText(int load);

}  // namespace nuvak
