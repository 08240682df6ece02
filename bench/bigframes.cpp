// The large-frame benchmark's helper, driven by bench/report_processes.sh:
//   bench_bigframes write DIR W H N   writes N frames frame001.fits ... of W x H (16-bit, BZERO
//                                     32768): sky 1000 + 0 ... 63, a star of peak 30000 starting
//                                     at (W / 2 + 0.3, H / 2 + 0.6) and drifting 0.5, -0.3
//                                     pixels a frame, and 500 hot pixels
//   bench_bigframes rows Y R FRAME...  the plain path the report is measured against: each
//                                     frame's header and the rows Y - 2R ... Y + 2R its star
//                                     search reads, through the run's reader into one band
//   bench_bigframes field DIR W H N S  writes N frames field_000.fits ... of W x H: a field of S
//                                     stars turning and drifting (the synthetic field's
//                                     defaults otherwise)
//   bench_bigframes whole FRAME...     the plain path of a many-star measurement: each frame's
//                                     file read whole, once
// It prints the star's first position (write, field), or a sum over what it read (rows,
// whole), so that the work cannot be left out.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/fileio.h"
#include "core/fits.h"
#include "core/samples.h"
#include "tracking/measure.h"
#include "tracking/stars.h"

namespace {

int write(const std::string& dir, int w, int h, int n) {
    std::filesystem::create_directories(dir);
    std::string header = nuvak::FitsCard("SIMPLE", "T") + nuvak::FitsCard("BITPIX", "16") +
                         nuvak::FitsCard("NAXIS", "2") + nuvak::FitsCard("NAXIS1", std::to_string(w)) +
                         nuvak::FitsCard("NAXIS2", std::to_string(h)) + nuvak::FitsCard("BZERO", "32768");
    header += std::string("END").append(77, ' ');
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::vector<std::uint8_t> data(std::size_t(w) * h * 2);
    data.resize((data.size() + 2879) / 2880 * 2880, 0);
    std::uint64_t state = 88172645463325252ULL;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const auto put = [&](int x, int y, int v) {
        const int s = std::clamp(v, 0, 65535) - 32768;
        data[2 * (std::size_t(y) * w + x)] = std::uint8_t((s >> 8) & 0xFF);
        data[2 * (std::size_t(y) * w + x) + 1] = std::uint8_t(s & 0xFF);
    };
    std::vector<std::pair<int, int>> hot;
    for (int k = 0; k < 500; ++k) hot.emplace_back(int(next() % w), int(next() % h));
    for (int i = 0; i < n; ++i) {
        // Sky: high byte of 1000 - 32768 everywhere, the low byte 0xE8 + 0 ... 63 wrapping into
        // the next high byte would change it, so the noise is added to a base of 1024.
        for (std::size_t k = 0; k < std::size_t(w) * h; k += 8) {
            const std::uint64_t r = next();
            for (std::size_t j = 0; j < 8 && k + j < std::size_t(w) * h; ++j) {
                data[2 * (k + j)] = std::uint8_t((1024 - 32768) >> 8 & 0xFF);
                data[2 * (k + j) + 1] = std::uint8_t((r >> (8 * j)) & 63);
            }
        }
        const double sx = w / 2 + 0.3 + 0.5 * i, sy = h / 2 + 0.6 - 0.3 * i;
        for (int x = int(sx) - 12; x <= int(sx) + 12; ++x)
            for (int y = int(sy) - 12; y <= int(sy) + 12; ++y) {
                const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
                put(x, y, 1056 + int(30000 * std::exp(-(dx * dx + dy * dy) / 8.0)));
            }
        for (const auto& [x, y] : hot) put(x, y, 60000);
        char name[32];
        std::snprintf(name, sizeof name, "frame%03d.fits", i + 1);
        std::FILE* f = std::fopen((std::filesystem::path(dir) / name).string().c_str(), "wb");
        if (!f || std::fwrite(header.data(), 1, header.size(), f) != header.size() ||
            std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "bench_bigframes: cannot write %s\n", name);
            return 1;
        }
    }
    std::printf("%d,%d\n", w / 2, h / 2);
    return 0;
}

int rows(int y, int r, int argc, char** argv, int first) {
    nuvak::RunFrames reader(nuvak::MeasureSettings{}, nuvak::FrameStore::Band);
    long long sum = 0;
    for (int k = first; k < argc; ++k) {
        reader.open(argv[k]);
        const int y0 = std::max(y - 2 * r, 0), y1 = std::min(y + 2 * r + 1, reader.height());
        reader.setBand(y0, y1);
        reader.read(y0, y1);
        sum += reader.frame()[reader.width() / 2][0];
    }
    std::printf("%lld\n", sum);
    return 0;
}

int field(const std::string& dir, int w, int h, int n, int stars) {
    std::filesystem::create_directories(dir);
    nuvak::FieldOptions o;
    o.width = w, o.height = h, o.frames = n, o.stars = stars;
    const std::vector<nuvak::SyntheticFrame> frames = nuvak::WriteSyntheticField(dir, o);
    std::printf("%.0f,%.0f\n", frames.empty() ? 0.0 : frames.front().x, frames.empty() ? 0.0 : frames.front().y);
    return 0;
}

int whole(int argc, char** argv, int first) {
    long long sum = 0;
    for (int k = first; k < argc; ++k) {
        const nuvak::FileBytes bytes = nuvak::ReadWholeFile(argv[k]);
        for (std::size_t j = 0; j < bytes.size(); j += 4096) sum += bytes[j];
    }
    std::printf("%lld\n", sum);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 6) return write(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == "rows" && argc > 4) return rows(std::atoi(argv[2]), std::atoi(argv[3]), argc, argv, 4);
    if (mode == "field" && argc == 7)
        return field(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    if (mode == "whole" && argc > 2) return whole(argc, argv, 2);
    std::fprintf(stderr,
                 "usage: bench_bigframes write DIR W H N | rows Y R FRAME... | field DIR W H N S | whole FRAME...\n");
    return 2;
}
