#pragma once
// Opening image files of every kind into documents and writing a document's display.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/document.h"
#include "core/open.h"

namespace nuvak {

struct OpenedDocument {
    ImageDocument document;
    std::optional<int> cards;                  // FITS only: header cards consumed
    std::optional<std::int32_t> bzero;         // FITS only: zero offset used
    std::optional<FitsConversion> conversion;  // FITS through the general library only
};

// Reads path with the reader of kind and fills a document as the open command does.
// Throws FileError naming the file; diag receives the readers' diagnostic lines.
OpenedDocument OpenImageFile(const std::string& path, FileKind kind, std::ostream* diag = nullptr);

enum class DisplayFormat { Bmp, Jpeg };

// The name the save command writes under: the chosen name with its extension replaced by
// ".bmp" or ".jpg", or with it added when the name has none.
std::string DisplayFileName(const std::string& chosen, DisplayFormat format);

// Writes the document's display raster (not its master data) to path, atomically: a
// failure leaves no partial file and the old file intact. JPEG is baseline at quality 70.
void WriteDisplay(const ImageDocument& document, const std::string& path, DisplayFormat format);

}  // namespace nuvak
