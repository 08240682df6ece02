// The tracking measurement on a frame list made from fuzzed frames. The input is
//   byte 0      flags: 1 star specified, 2 noise cut, 4 dark processing with one dark,
//               8 three measured frames instead of two
//   byte 1      radius as a signed byte (search range with a star specified, else PSF radius)
//   bytes 2, 3  star position x, y (each byte minus 32, so it can lie off the frame)
//   then        the files: each a 16-bit little-endian length and that many bytes, the last
//               file taking whatever is left (the dark comes after the measured frames)
// The files are written to a temporary folder, as the measurement reads files by name.
// A bad frame must surface as TrackingError or FileError.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/error.h"
#include "tests/fuzz/fuzz_check.h"
#include "tracking/measure.h"
#include "tracking/state.h"

using namespace nuvak;

namespace {

namespace fs = std::filesystem;

// A folder of this process under the temporary folder, removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device rd;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path p = fs::temp_directory_path() / ("nuvak-fuzz-track-" + std::to_string(rd()));
            if (fs::create_directory(p)) path_ = p;
        }
        if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
        const fs::path p = path_ / name;
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        out.close();
        fuzz::Check(bool(out), "the scratch file is written");
        return p.string();
    }
    void clear() const {
        for (const auto& e : fs::directory_iterator(path_)) fs::remove(e.path());
    }

private:
    fs::path path_;
};

// Cuts the next file off the input: a 16-bit length and its bytes, or everything left.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;

    std::pair<const std::uint8_t*, std::size_t> next(bool last) {
        if (!last && size >= 2) {
            const std::size_t n = std::min<std::size_t>(data[0] | std::size_t(data[1]) << 8, size - 2);
            const auto piece = std::make_pair(data + 2, n);
            data += 2 + n;
            size -= 2 + n;
            return piece;
        }
        const auto piece = std::make_pair(data, size);
        data += size;
        size = 0;
        return piece;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    if (size < 4) return 0;
    const std::uint8_t flags = data[0];
    MeasureSettings settings;
    settings.starSpecified = flags & 1;
    settings.noiseCut = flags & 2;
    settings.darkProcessing = flags & 4;
    const int radius = data[1] < 128 ? int(data[1]) : int(data[1]) - 256;  // the byte as a signed number
    settings.searchRange = radius;
    settings.psfRadius = radius;
    settings.starX = int(data[2]) - 32;
    settings.starY = int(data[3]) - 32;
    const int frameCount = flags & 8 ? 3 : 2;

    Reader reader{data + 4, size - 4};
    std::vector<std::string> frames;
    for (int i = 0; i < frameCount; ++i) {
        const auto [bytes, n] = reader.next(i + 1 == frameCount && !settings.darkProcessing);
        frames.push_back(folder.write("frame" + std::to_string(i + 1) + ".fits", bytes, n));
    }
    if (settings.darkProcessing) {
        const auto [bytes, n] = reader.next(true);
        settings.darks.push_back(folder.write("dark1.fits", bytes, n));
    }

    TrackingState state;
    state.FrameCount = frameCount;
    try {
        RunMeasurement(frames, settings, state);
        for (int i = 0; i < frameCount; ++i) {
            fuzz::Check(std::isfinite(state.CentroidX[i]) && std::isfinite(state.CentroidY[i]),
                        "a measured centroid is a number");
            fuzz::Check(state.FwhmRadius[i] >= 0 && std::isfinite(state.FwhmRadius[i]), "a measured width is a number");
        }
    } catch (const TrackingError&) {
    } catch (const FileError&) {
    }
    folder.clear();
    return 0;
}
