// FITS read and 16-bit display speed, each beside a reference measured in the same run:
//   ReadFitsIntoArray our read of a 4096 x 4096 file into an [x][y] array, zero offset applied
//   ReadThenApplyBzero the same in two passes: ReadFitsBzero, then ApplyBzero
//   ReadFits         as the open command: a fresh array each time (its pages are touched anew)
//   PlainLimit       the practical limit: large chunks, byte swap and widen into one buffer
//   PeerRead         cfitsio's fits_read_img into 32-bit integers
//   OpenDocument     the open command's FITS path: levels, display and byte planes painted
//                    from the stored rows
//   LoadThenBuild    the same through the [x][y] samples: LoadFits, the grid, BuildMono16Pictures
//   RenderMono16     the display of a 4096 x 4096 kind 2 window through the level table
//   CopyThreeRasters memcpy of the three rasters the render touches
#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "core/display.h"
#include "core/fits.h"
#include "core/open.h"
#include "core/samples.h"

namespace {

constexpr int kSide = 4096;

const std::string& framePath() {
    static const std::string path = [] {
        const auto p = std::filesystem::temp_directory_path() / "nuvak-bench-4096.fits";
        nuvak::IntArray2D a(kSide, kSide);
        std::mt19937 rng(1);
        for (int x = 0; x < kSide; ++x)
            for (int y = 0; y < kSide; ++y) a[x][y] = int(1000 + rng() % 3000);
        const auto bytes = nuvak::EncodeFits16(a, kSide, kSide);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p.string();
    }();
    return path;
}

constexpr std::int64_t kDataBytes = std::int64_t(kSide) * kSide * 2;

void ReadFits(benchmark::State& state) {
    const std::string& path = framePath();
    for (auto _ : state) {
        nuvak::FitsImage img = nuvak::LoadFits(path);
        benchmark::DoNotOptimize(img.samples.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void ReadFitsIntoArray(benchmark::State& state) {
    const std::string& path = framePath();
    nuvak::IntArray2D p(kSide, kSide);
    for (auto _ : state) {
        nuvak::FileSource source(path);
        nuvak::LoadFitsInto(source, p);
        benchmark::DoNotOptimize(p.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void ReadThenApplyBzero(benchmark::State& state) {
    const std::string& path = framePath();
    nuvak::IntArray2D p(kSide, kSide);
    for (auto _ : state) {
        const nuvak::FitsHeader h = nuvak::ReadFitsBzero(path, p);
        nuvak::ApplyBzero(h.bzero, h.width, h.height, p);
        benchmark::DoNotOptimize(p.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void PlainLimit(benchmark::State& state) {
    const std::string& path = framePath();
    std::vector<std::int32_t> out(std::size_t(kSide) * kSide);
    std::vector<std::uint8_t> chunk(1 << 22);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 2880, SEEK_SET);
        std::size_t done = 0;
        while (done < out.size()) {
            const std::size_t n = std::min(chunk.size() / 2, out.size() - done);
            if (std::fread(chunk.data(), 2, n, f) != n) break;
            for (std::size_t i = 0; i < n; ++i) out[done + i] = std::int16_t(chunk[2 * i] << 8 | chunk[2 * i + 1]) + 32768;
            done += n;
        }
        std::fclose(f);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void PeerRead(benchmark::State& state) {
    const std::string& path = framePath();
    std::vector<int> out(std::size_t(kSide) * kSide);
    for (auto _ : state) {
        fitsfile* fp = nullptr;
        int status = 0, anyNull = 0;
        fits_open_file(&fp, path.c_str(), READONLY, &status);
        fits_read_img(fp, TINT, 1, LONGLONG(out.size()), nullptr, out.data(), &anyNull, &status);
        fits_close_file(fp, &status);
        if (status) state.SkipWithError("cfitsio failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void OpenDocument(benchmark::State& state) {
    const std::string& path = framePath();
    for (auto _ : state) {
        nuvak::OpenedFits f = nuvak::OpenFitsDocument(path);
        benchmark::DoNotOptimize(f.document.Image.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

void LoadThenBuild(benchmark::State& state) {
    const std::string& path = framePath();
    for (auto _ : state) {
        const nuvak::FitsImage img = nuvak::LoadFits(path);
        std::int64_t sum = 0, count = 0, lowest = 65536;
        for (int x = 10; x < kSide - 10; x += 4)
            for (int y = 10; y < kSide - 10; y += 4, ++count) {
                sum += img.samples[x][y];
                lowest = std::min<std::int64_t>(lowest, img.samples[x][y]);
            }
        const int m = int(lowest), M = int((double(sum) / double(count) - double(lowest)) * 2 + double(lowest));
        nuvak::Mono16Pictures p = nuvak::BuildMono16Pictures(img.samples, kSide, kSide, m, (M - m) / 255.0);
        benchmark::DoNotOptimize(p.display.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

struct Planes {
    nuvak::Raster low{kSide, kSide}, high{kSide, kSide};
    Planes() {
        std::mt19937 rng(2);
        for (auto& b : low.bytes) b = std::uint8_t(rng());
        for (auto& b : high.bytes) b = std::uint8_t(rng() % 16);
    }
};

const Planes& planes() {
    static const Planes p;
    return p;
}

constexpr std::int64_t kRasterBytes = std::int64_t(kSide) * kSide * 3;

void RenderMono16(benchmark::State& state) {
    const Planes& p = planes();
    nuvak::Raster out(kSide, kSide);
    for (auto _ : state) {
        nuvak::RenderMono16(p.low, p.high, 3000, 1000, out);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kRasterBytes * 3);
}

void CopyThreeRasters(benchmark::State& state) {
    const Planes& p = planes();
    nuvak::Raster a(kSide, kSide), b(kSide, kSide), c(kSide, kSide);
    for (auto _ : state) {
        std::memcpy(a.bytes.data(), p.low.bytes.data(), kRasterBytes);
        std::memcpy(b.bytes.data(), p.high.bytes.data(), kRasterBytes);
        std::memcpy(c.bytes.data(), p.low.bytes.data(), kRasterBytes);
        benchmark::DoNotOptimize(a.bytes.data());
        benchmark::DoNotOptimize(b.bytes.data());
        benchmark::DoNotOptimize(c.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kRasterBytes * 3);
}

BENCHMARK(ReadFitsIntoArray)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ReadThenApplyBzero)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ReadFits)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(PlainLimit)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(PeerRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(OpenDocument)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(LoadThenBuild)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(RenderMono16)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(CopyThreeRasters)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
