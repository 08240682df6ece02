#pragma once
// The image document: what one image window holds. Its pictures are the image data and a
// few attributes describe it (size, kind, zoom, display levels).

#include <cstdint>
#include <optional>
#include <string>

#include "core/error.h"
#include "core/format.h"
#include "core/raster.h"

namespace nuvak {

// FilterI: the kind of image a document holds.
enum class ImageKind : int {
    Colour = 1,     // 8-bit colour from BMP or JPEG
    Mono16 = 2,     // 16-bit monochrome from FITS; samples split over ImageZm and ImageZm2
    PgmColour = 3,  // 8-bit colour from the Netpbm entry
};

struct ImageDocument {
    Raster Image;     // the display, what the user sees
    Raster ImageZm;   // master: the colour image, or for kind 2 the low byte of each sample (blue byte)
    Raster Image1;    // copy of the display written by the brightness steps and the tracking preview
    Raster Image2;    // not used
    Raster ImageZm2;  // kind 2: the high byte of each sample (blue byte)

    int DemX = 0;                    // width in pixels
    int DemY = 0;                    // height in pixels
    std::optional<int> ColN;         // 3 for BMP, 1 otherwise; nothing reads it
    double ZomN = 1.0;               // zoom factor of the display
    int UndoFlg = 0;                 // written by commands that change the image; nothing reads it
    double Contrast = 1.0;           // cumulative gain of the brightness steps on kind 1
    std::optional<double> Average;   // kind 2: mean of the sampled 16-bit values
    std::optional<int> Minimum;      // kind 2: smallest sampled 16-bit value
    std::optional<ImageKind> FilterI;
    int MAX = 255;                   // upper display level
    int MIN = 0;                     // lower display level
    std::string caption = "Child";

    // The kind; a document that was never filled has none, which reads as a conversion error.
    ImageKind kind() const {
        if (!FilterI) throw ConversionError(FillMessage(msg::kNotInteger, ""));
        return *FilterI;
    }

    // The 16-bit sample of a kind 2 document: 256 * high byte + low byte.
    int sample(int x, int y) const { return 256 * ImageZm2.pixel(x, y)[0] + ImageZm.pixel(x, y)[0]; }
};

}  // namespace nuvak
