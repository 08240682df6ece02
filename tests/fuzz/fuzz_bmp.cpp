// The BMP reader. Problems must surface as FileError; a decoded raster holds exactly its rows.
//
// Inputs whose rows are not counted before they are read and whose header claims more than
// kMaxPixels pixels are skipped: run-length data, which may rightly skip most of a large
// picture in a few bytes (the skipped pixels take palette entry 0), and headers of unusual
// sizes, which are read as the core header and take whatever rows there are. Such inputs
// decode, but each fills up to a gigabyte: a few of them in the corpus would leave the fuzzer
// a few runs per second. Other kinds of BMP must hold their rows, so large claims there are
// refused cheaply and stay in.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/bmp.h"
#include "core/error.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

namespace {

constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 22;

// Width times height of a BMP whose rows are not counted, as its header states them: a
// run-length BMP (information header of 40 bytes or more, compression 1 or 2), or one whose
// header is not of 12, 40, 64, 108 or 124 bytes (signed 16-bit sides, as in the core header);
// 0 for any other input.
std::uint64_t UncountedPixels(const std::uint8_t* b, std::size_t size) {
    auto u16 = [&](std::size_t at) { return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8; };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto magnitude = [](std::uint32_t v) { return std::uint64_t(std::abs(std::int64_t(std::int32_t(v)))); };
    auto magnitude16 = [](std::uint32_t v) { return std::uint64_t(std::abs(std::int32_t(std::int16_t(v)))); };
    if (size < 22) return 0;
    const std::uint32_t header = u32(14);
    if (header != 12 && header != 40 && header != 64 && header != 108 && header != 124)
        return magnitude16(u16(18)) * magnitude16(u16(20));
    if (size < 34 || header < 40 || (u32(30) != 1 && u32(30) != 2)) return 0;
    return magnitude(u32(18)) * magnitude(u32(22));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (UncountedPixels(data, size) > kMaxPixels) return 0;
    try {
        const Raster r = DecodeBmp(std::span<const std::uint8_t>(data, size), "fuzz.bmp");
        fuzz::Check(!r.empty() && r.bytes.size() == r.stride() * std::size_t(r.height),
                    "a decoded raster holds exactly its rows");
    } catch (const FileError&) {
    }
    return 0;
}
