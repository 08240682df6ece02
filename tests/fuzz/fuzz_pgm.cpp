// The reader behind the "PGM" entry of the open dialog, on its own and through the open
// command that turns it into a document. Problems must surface as FileError.

#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>

#include "core/error.h"
#include "core/fileio.h"
#include "core/open.h"
#include "core/pgm.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source("fuzz.pgm", std::span<const std::uint8_t>(data, size));
    try {
        std::ostringstream diag;  // the progress lines take their own paths through the header
        const PgmColour pgm = ReadPgmColour(source, &diag);
        fuzz::Check(pgm.width >= 1 && pgm.width <= kPgmMaxSide && pgm.height >= 1 && pgm.height <= kPgmMaxSide,
                    "the accepted size lies within the limits");
        fuzz::Check(std::uint64_t(pgm.width) * std::uint64_t(pgm.height) <= size, "the accepted file holds its samples");
        for (const IntArray2D* c : {&pgm.R, &pgm.G, &pgm.B})
            for (std::size_t i = 0; i < c->size(); ++i)
                fuzz::Check(c->data()[i] >= 0 && c->data()[i] <= 255, "samples are bytes");
    } catch (const FileError&) {
    }
    try {
        const ImageDocument d = OpenPgmDocument(source);
        fuzz::Check(d.Image.width == d.DemX && d.Image.height == d.DemY, "the picture has the document's size");
    } catch (const FileError&) {
    }
    return 0;
}
