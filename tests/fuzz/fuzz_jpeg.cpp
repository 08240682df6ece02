// The JPEG decoder wrapper: damaged, cut-short, CMYK or non-JPEG input must surface as
// FileError; a decoded raster holds exactly its rows.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/error.h"
#include "core/jpeg.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const Raster r = DecodeJpeg(std::span<const std::uint8_t>(data, size), "fuzz.jpg");
        fuzz::Check(!r.empty() && r.bytes.size() == r.stride() * std::size_t(r.height),
                    "a decoded raster holds exactly its rows");
    } catch (const FileError&) {
    }
    return 0;
}
