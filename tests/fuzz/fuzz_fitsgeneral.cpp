// The general FITS route on one input: the layouts the plain reader does not take, read
// through cfitsio (from a file, as the program reads them) and presented as a plain 16-bit file, then read back by the
// plain readers and the open command, as one plane and as a colour picture. A file problem
// must surface as FileError (ImageError for a display that cannot be made); anything else
// escaping, a crash, a hang or a sanitizer report is a finding.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/error.h"
#include "core/fits.h"
#include "core/fitsgeneral.h"
#include "core/open.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

namespace {

// One scratch file per process, replaced by every input and removed at exit.
struct Scratch {
    std::string path;
    Scratch() {
        std::random_device seed;
        path = (std::filesystem::temp_directory_path() / ("nuvak-fuzz-" + std::to_string(seed()) + ".fits")).string();
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    void write(std::span<const std::uint8_t> bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        fuzz::Check(bool(out), "the scratch file is written");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    static const Scratch scratch;
    scratch.write(bytes);
    {
        MemorySource plain("fuzz.fits", bytes);
        try {
            (void)NeedsGeneralFitsReader(plain);
        } catch (const FileError&) {
        }
    }
    for (const bool colour : {false, true}) {
        try {
            GeneralFitsSource source(scratch.path, colour);
            const FitsConversion& c = source.conversion();
            fuzz::Check(c.mappedPlanes == 1 || (colour && c.planes == 3), "three planes are mapped only for colour");
            fuzz::Check(c.factor >= 0 && c.hdu >= 0, "the mapping and the HDU are sound");
            const FitsImage image = LoadFits(source);
            fuzz::Check(image.header.width == source.width() && image.header.height == source.height(),
                        "the plain file has the image's size");
            fuzz::Check(image.header.bzero == 32768, "the plain file carries its zero offset");
            for (std::size_t i = 0; i < image.samples.size(); ++i)
                fuzz::Check(image.samples.data()[i] >= 0 && image.samples.data()[i] <= 65535, "samples are 0 ... 65535");
            for (int p = 0; p < c.mappedPlanes; ++p) {
                std::vector<std::uint16_t> row(std::size_t(source.width()));
                source.readPlaneRows(p, int(source.height()) - 1, 1, row.data());
            }
            const OpenedFits opened = OpenFitsDocument(source);
            fuzz::Check(opened.document.DemX == image.header.width, "the document has the file's size");
        } catch (const FileError&) {
        } catch (const ImageError&) {
        }
    }
    return 0;
}
