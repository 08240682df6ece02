#pragma once
// Tone mappings of 8-bit colour pictures: gamma, solarization and the Sabattier effect, and
// the commands that show them on a document's display.

#include "core/document.h"
#include "core/raster.h"

namespace nuvak {

// The gamma last read from the gamma dialog, kept while the program runs; the coma
// correction applies it again.
struct GammaSetting {
    double gamma = 1.0;
};

// Every byte v of the picture mapped to trunc(255 * (v * (1/255))^gamma), 1/255 taken in
// extended precision and the power in double precision; gamma > 0.
Raster GammaMapped(const Raster& source, double gamma);

// Every byte replaced by trunc(5/6 * above + 5/6 * itself - 4/6 * below) of the same byte in
// the rows above and below, summed in doubles in that order with the weights a convolution
// normalises 5, 5, -4 to; a term whose row lies outside the picture is left out. Negative
// results become 0, results of 255 and above 255.
Raster Solarized(const Raster& source);

// Every byte v mapped to the low 8 bits of trunc(fmod(v * 256 / step, 256)); step must give
// finite quotients (see SabattierStepUsable).
Raster SabattierMapped(const Raster& source, double step);
// Whether v * 256 / step is finite for every byte v (false for 0, for steps too close to 0).
bool SabattierStepUsable(double step);

// Gamma: shows ImageZm mapped with gamma on Image of a kind 1 document and sets UndoFlg;
// other kinds stay unchanged. Throws ImageError for a gamma that is not above 0.
void GammaCommand(ImageDocument& d, double gamma);

// Solarization: shows ImageZm solarized on Image of a kind 1 document and sets UndoFlg;
// other kinds stay unchanged.
void SolarizeCommand(ImageDocument& d);

// Sabattier effect: shows ImageZm mapped with the step width on Image of any document and
// sets UndoFlg. Throws ImageError for a step the mapping cannot use (0 and near it).
void SabattierCommand(ImageDocument& d, double step);

}  // namespace nuvak
