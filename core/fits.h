#pragma once
// Reading 16-bit two-axis FITS images: the header, the samples, and the zero offset.
//
// The header is read in whole 2880-byte blocks up to the block that holds the END card, so
// the samples start at the next block boundary. Every file problem raises FileError naming
// the file and the cause; nothing is written to disk.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/fileio.h"

namespace nuvak {

inline constexpr int kFitsBlockBytes = 2880;
inline constexpr int kFitsCardBytes = 80;
inline constexpr int kFitsCardsPerBlock = kFitsBlockBytes / kFitsCardBytes;
// The largest side the readers accept.
inline constexpr int kFitsMaxSide = 16000;
// What the readers write to their diagnostic stream, before the name, for a file they cannot open.
inline constexpr char kFitsOpenDiagnostic[] = "file open error    ";

struct FitsHeader {
    int width = 0;              // NAXIS1
    int height = 0;             // NAXIS2
    int bitpix = 16;            // BITPIX (16 when the card is missing)
    int cards = 0;              // header cards consumed: 36 per block read
    std::int32_t bzero = 0;     // zero offset used (from the BZERO card, or the token scan)
    std::string cardText;       // every card consumed, 80 bytes each, without terminators

    std::uint64_t dataOffset() const { return std::uint64_t(cards) * kFitsCardBytes; }
    std::uint64_t dataBytes() const { return std::uint64_t(width) * std::uint64_t(height) * 2; }
};

// Reads and checks the header: size within limits, BITPIX 16, the file long enough for the
// samples the header promises. Z is the BZERO card's value (0 without one).
FitsHeader ReadFitsHeader(ByteSource& source, std::ostream* diag = nullptr);
FitsHeader ReadFitsHeader(const std::string& path, std::ostream* diag = nullptr);

// Header and samples: p[x][y] = 256 * high byte + low byte, 0 ... 65535, before any zero
// offset. p must be at least W x H (ReadFitsHeader tells the size). Z from the BZERO card.
FitsHeader ReadFits(ByteSource& source, IntArray2D& p, std::ostream* diag = nullptr);
FitsHeader ReadFits(const std::string& path, IntArray2D& p, std::ostream* diag = nullptr);

// As ReadFits, but Z comes from a scan of the first header block for the words BZERO, =
// and a number (truncated toward zero); without them the BZERO card's value is kept.
FitsHeader ReadFitsBzero(ByteSource& source, IntArray2D& p, std::ostream* diag = nullptr);
FitsHeader ReadFitsBzero(const std::string& path, IntArray2D& p, std::ostream* diag = nullptr);

// Converts raw samples by the zero offset: v + Z when v < Z, otherwise v - Z. With Z = 32768
// this turns stored two's-complement samples into 0 ... 65535. Results beyond the 32-bit
// range saturate.
int ApplyBzero(std::int32_t z, int w, int h, IntArray2D& p);

// The token scan on its own: Z from the first "BZERO" "=" number in the text, or nothing.
// Throws FileError (under name) when the number is not a number or not a 32-bit integer.
std::optional<std::int32_t> ScanBzero(std::span<const char> text, const std::string& name);

// A FITS image read the way the open command reads it: header, token-scan zero offset,
// samples with the zero offset applied, in one pass over the file.
struct FitsImage {
    FitsHeader header;
    IntArray2D samples;
};
FitsImage LoadFits(ByteSource& source, std::ostream* diag = nullptr);
// The same into an array the caller holds (at least W x H; ReadFitsHeader tells the size).
FitsHeader LoadFitsInto(ByteSource& source, IntArray2D& p, std::ostream* diag = nullptr);
FitsImage LoadFits(const std::string& path, std::ostream* diag = nullptr);

// The samples of rows y0 .. y1 - 1 (y1 = -1: to the last row) of an image whose header h was
// read from source, converted with the zero offset z (as ApplyBzero does) and stored at their
// own rows of p; the other rows of p are not touched. p must be at least W x H.
void ReadFitsRows(ByteSource& source, const FitsHeader& h, std::int32_t z, IntArray2D& p, int y0 = 0, int y1 = -1);

// The header as LoadFits reads it: Z from the token scan, else from the BZERO card.
FitsHeader LoadFitsHeader(ByteSource& source, std::ostream* diag = nullptr);

// The samples of an image whose header h was read from source, as the file stores them, a
// band of rows at a time (about a megabyte; the same buffer each time): band(stored, y0, rows)
// receives rows y0 .. y0 + rows - 1, each W big-endian 16-bit values.
void ReadFitsBands(ByteSource& source, const FitsHeader& h,
                   const std::function<void(const std::uint8_t* stored, int y0, int rows)>& band);

// For each stored value r = 0 ... 65535 (256 * first byte + second byte) the sample it stands
// for under the zero offset z, as the readers convert it.
std::vector<std::int32_t> FitsSampleValues(std::int32_t z);

}  // namespace nuvak
