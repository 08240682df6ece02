#pragma once
// Turning image files into filled documents, as the open command does for each file kind.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/document.h"
#include "core/fileio.h"
#include "core/fitsgeneral.h"
#include "core/raster.h"

namespace nuvak {

// The open dialog's filter index: which reader a file goes through.
enum class FileKind : int { Bmp = 1, Fits = 2, Jpeg = 3, Pgm = 4 };

// The kind the extension names (.bmp, .fit/.fts/.fits and the compressed .fz, .jpg/.jpeg,
// .pgm), or 0 when none.
int FileKindOfExtension(const std::string& path);

// A FITS document together with what reading the file found.
struct OpenedFits {
    ImageDocument document;
    int cards = 0;              // header cards consumed
    std::int32_t bzero = 0;     // zero offset used
    // For a layout read through the general FITS library: how its values became samples.
    std::optional<FitsConversion> conversion;
};

// FITS: samples with the zero offset applied; levels from the sample grid (every fourth
// pixel from 10 to 10 short of the far edges): lower m = the smallest, upper
// M = trunc((mean - m) * 2 + m); display d = trunc((v - m) / ((M - m) / 255)).
// An empty grid or M = m raises FileError: no display can be made.
// levelFactor: the upper level lies that many times the mean's distance above the minimum
// (the open command uses 2, the tracking preview 4).
OpenedFits OpenFitsDocument(ByteSource& source, std::ostream* diag = nullptr, int levelFactor = 2);
OpenedFits OpenFitsDocument(const std::string& path, std::ostream* diag = nullptr, int levelFactor = 2);

// The open command's FITS entry: OpenFitsDocument, except that an image of three planes
// (red, green, blue) becomes a kind 1 colour document, as a JPEG does. One pair of levels
// serves all three planes, found as the 16-bit open finds its levels (over the sample grid of
// the three planes together), so that the colours keep their balance.
OpenedFits OpenFitsPicture(const std::string& path, std::ostream* diag = nullptr);

// A document of kind 1 from a decoded BMP or JPEG raster. BMP sizes ImageZm2 (white) and
// sets ColN 3; JPEG leaves ImageZm2 empty and sets ColN 1.
ImageDocument DocumentFromColourRaster(Raster raster, const std::string& path, FileKind kind);

// JPEG: decoded at full size into a kind 1 document.
ImageDocument OpenJpegDocument(const std::string& path);

// Netpbm entry: a kind 3 document; the caption stays "Child".
ImageDocument OpenPgmDocument(const std::string& path, std::ostream* diag = nullptr);
ImageDocument OpenPgmDocument(ByteSource& source, std::ostream* diag = nullptr);

}  // namespace nuvak
