// The FITS readers on one input: the header alone, the samples with the card's zero offset
// and with the token-scanned one, and the open command that also computes display levels.
// A file problem must surface as FileError (ImageError for a display that cannot be made);
// anything else escaping, a crash or a sanitizer report is a finding.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/arrays.h"
#include "core/error.h"
#include "core/fileio.h"
#include "core/fits.h"
#include "core/open.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    MemorySource source("fuzz.fits", bytes);

    FitsHeader header;
    try {
        header = ReadFitsHeader(source);
    } catch (const FileError&) {
        // The other readers start with the same header and must refuse it as well.
        IntArray2D none;
        try {
            ReadFits(source, none);
            fuzz::Check(false, "ReadFits accepts a header that ReadFitsHeader refuses");
        } catch (const FileError&) {
        }
        return 0;
    }
    fuzz::Check(header.width >= 1 && header.width <= kFitsMaxSide && header.height >= 1 &&
                    header.height <= kFitsMaxSide,
                "the accepted size lies within the limits");
    fuzz::Check(header.dataOffset() + header.dataBytes() <= size, "the accepted file holds its samples");

    IntArray2D p(header.width, header.height);
    const FitsHeader read = ReadFits(source, p);  // the header passed, so the samples must too
    fuzz::Check(read.width == header.width && read.height == header.height, "ReadFits sees the header's size");
    for (std::size_t i = 0; i < p.size(); ++i)
        fuzz::Check(p.data()[i] >= 0 && p.data()[i] <= 65535, "raw samples are 0 ... 65535");

    try {
        ReadFitsBzero(source, p);  // the token scan may find a number that is not one
    } catch (const FileError&) {
    }

    // The open command with the level factor of the open command and of the tracking preview.
    for (const int levelFactor : {2, 4}) {
        try {
            const OpenedFits opened = OpenFitsDocument(source, nullptr, levelFactor);
            fuzz::Check(opened.document.DemX == header.width && opened.document.DemY == header.height,
                        "the document has the file's size");
        } catch (const FileError&) {
        } catch (const ImageError&) {
        }
    }
    return 0;
}
