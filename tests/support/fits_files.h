#pragma once
// Builds small FITS files in memory so that tests know every byte and sample.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"

namespace nuvak::test {

// One 80-byte card: keyword padded to 8, "= ", the value right-aligned to column 30.
std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment = "");
// Any text padded (or cut) to 80 bytes.
std::string FitsRawCard(const std::string& text);

struct FitsBuilder {
    std::vector<std::string> cards;  // 80 bytes each; END is added by bytes()
    Bytes data;                      // the sample bytes, as stored

    // A 16-bit image: SIMPLE, BITPIX 16, NAXIS 2, NAXIS1, NAXIS2 and, when given, BZERO.
    static FitsBuilder Image16(int w, int h, const std::string& bzero = "32768");
    // The same cards with no sample bytes (for headers that must be refused).
    static FitsBuilder Header16(int w, int h, const std::string& bzero = "32768");
    // Stores 16-bit values row by row from the top, most significant byte first.
    FitsBuilder& samples(int w, int h, const std::function<std::uint16_t(int x, int y)>& stored);
    // Blank cards so that END becomes card number index (0-based).
    FitsBuilder& endAt(int index);
    FitsBuilder& card(const std::string& c);

    // Header blocks (END, padding to whole blocks) followed by the data, padded to a block.
    Bytes bytes(bool padData = true) const;
};

// The stored value of a sample under BZERO 32768: the physical value minus 32768.
inline std::uint16_t Stored(int physical) { return static_cast<std::uint16_t>(physical - 32768); }

// A 100 x 100 frame (BZERO 32768) whose sample grid alternates 1000 and 1400 (mean 1200,
// minimum 1000, so display levels 1000 and 1400); the rest is 1200, with one dark pixel
// (900) at (5, 7) and one bright pixel (2000) at (95, 3), both off the grid.
Bytes LevelExampleFrame();

}  // namespace nuvak::test

namespace nuvak::test {

// A FITS file as the general FITS library writes it: values (row by row from the top, plane
// after plane) stored as BITPIX bitpix under BSCALE bscale and BZERO bzero (the library
// applies them), in the primary array or in an extension after an empty primary, tile-
// compressed when compression names a method ("RICE", "GZIP", "HCOMPRESS", "PLIO"; the image
// then sits in an extension, and floats are kept exactly). cards: extra string keywords of
// the image; primaryCards: of the primary header when the image is in an extension.
struct LibraryFits {
    int bitpix = 16;
    double bscale = 1, bzero = 0;
    bool extension = false;
    std::string compression;
    std::vector<std::pair<std::string, std::string>> cards, primaryCards;
};
void WriteLibraryFits(const std::string& path, const LibraryFits& layout, int w, int h, const std::vector<double>& values,
                      int planes = 1);

}  // namespace nuvak::test
