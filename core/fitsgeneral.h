#pragma once
// FITS layouts beyond the plain 16-bit image (other sample types, scaled data, an image in an
// extension, tile-compressed images, cubes), read through cfitsio and presented as the plain
// 16-bit file the FITS readers of core/fits.h take: a header of SIMPLE, BITPIX 16, NAXIS 2,
// NAXIS1, NAXIS2 and BZERO 32768 followed by the image's own descriptive cards, then the
// samples, 0 ... 65535, stored as signed 16-bit values under that zero offset. A reader that
// applies the file's BZERO and one that folds every frame by 32768 both get the same values.
//
// The samples are produced a band of rows at a time as they are asked for, so a frame is
// never held whole: memory stays about one band of rows.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/fileio.h"

namespace nuvak {

// How the file's values became 16-bit samples: sample = round((v - offset) * factor) clamped
// to 0 ... 65535 (offset 0, factor 1: whole values within 0 ... 65535 used as they are). An
// undefined value (NaN, BLANK) becomes 0.
struct FitsConversion {
    double offset = 0;
    double factor = 1;
    int bitpix = 16;            // the image's own BITPIX (of the uncompressed image)
    int hdu = 0;                // 0: the primary array, k: the k-th extension
    long long planes = 1;       // planes beyond the first two axes (NAXIS3 x NAXIS4 ...)
    int mappedPlanes = 1;       // planes the samples come from: 1, or 3 for a colour picture
    bool compressed = false;    // a tile-compressed image

    bool identity() const { return offset == 0 && factor == 1; }
};

class GeneralFitsSource final : public ByteSource {
public:
    // Opens path with cfitsio (the name is taken literally, never as cfitsio's extended file
    // name syntax) and moves to the first image with at least two axes. With colour set, an
    // image of exactly three planes has one mapping over all three (readPlaneRows gives each);
    // otherwise the samples are those of the first plane. Throws FileError naming the file.
    // Files only: the library's memory driver reads past the end of a buffer that is shorter
    // than its header promises, where its file driver reports the end of the file.
    explicit GeneralFitsSource(const std::string& path, bool colour = false);
    ~GeneralFitsSource() override;
    GeneralFitsSource(const GeneralFitsSource&) = delete;
    GeneralFitsSource& operator=(const GeneralFitsSource&) = delete;

    const std::string& name() const override { return name_; }
    std::uint64_t size() const override;
    void read(std::uint64_t pos, void* dst, std::size_t n) override;

    long long width() const { return width_; }
    long long height() const { return height_; }
    const FitsConversion& conversion() const { return conversion_; }

    // The 16-bit samples of rows y0 .. y0 + rows - 1 of plane (0-based, below mappedPlanes),
    // W to a row, top row first.
    void readPlaneRows(int plane, int y0, int rows, std::uint16_t* out);

private:
    struct Library;
    void open(bool colour);
    void readValues(int plane, int y0, int rows, double* out);
    void loadBand(int y0);

    std::string name_;
    std::unique_ptr<Library> lib_;
    long long width_ = 0, height_ = 0;
    FitsConversion conversion_;
    std::string header_;            // the header blocks of the plain file
    int bandRows_ = 1;
    int bandY0_ = -1, bandCount_ = 0;
    std::vector<std::uint8_t> band_;    // stored big-endian bytes of the cached rows
    std::vector<double> values_;        // one band of values as the library gives them
};

// Whether a name marks a tile-compressed FITS file: .fz (.fits.fz, .fit.fz, .fts.fz).
bool IsCompressedFitsName(const std::string& path);

// Whether the header at the start of source describes a layout the plain 16-bit reader does
// not take: BITPIX 8, 32, 64, -32 or -64, BSCALE other than 1, no NAXIS1 and NAXIS2 (an
// image in an extension), or a third axis of more than one plane. Anything that is not a
// FITS header at all stays with the plain reader, whose messages say what is wrong.
bool NeedsGeneralFitsReader(ByteSource& source);

// Opens a FITS file for the readers of core/fits.h: the plain file itself, or, for the
// layouts above and the .fz names, a GeneralFitsSource (colour as it takes it). A file that
// does not begin with a SIMPLE card stays with the plain reader, whose messages say so. When only the
// first of several planes is used, one line saying so goes to diag. A file that cannot be
// opened at all writes the readers' open diagnostic to diag and throws FileError.
std::unique_ptr<ByteSource> OpenFitsSource(const std::string& path, std::ostream* diag = nullptr,
                                           bool colour = false);

}  // namespace nuvak
