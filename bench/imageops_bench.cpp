// Spatial filters on a 4000 x 3000 colour picture (a 24-bit BMP's worth), items = pixels:
//   HighPass   HighPassCommand on a document: the 3 x 3 high-pass of every channel, drawn on
//              the display and the master
//   Blur       BlurCommand, the same way
//   LowPass    LowPassCommand (the high-pass picture and a second pass), for comparison
// The master is restored outside the timing before each run, so every run filters the same
// picture. The picture is the one bench/imageops_processes.sh gives its peer:
//   byte k of pixel (x, y) = (37 (3 x + k) + 101 y + (x xor y) mod 64) mod 256.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "imageops/filters.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const nuvak::Raster& picture() {
    static const nuvak::Raster r = [] {
        nuvak::Raster out(kWidth, kHeight, nuvak::Raster::Unwritten{});
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = out.row(y);
            for (int x = 0; x < kWidth; ++x)
                for (int k = 0; k < 3; ++k) row[3 * x + k] = std::uint8_t(37 * (3 * x + k) + 101 * y + ((x ^ y) & 63));
        }
        return out;
    }();
    return r;
}

template <void (*Command)(nuvak::ImageDocument&, nuvak::Progress&)>
void filter(benchmark::State& state) {
    nuvak::ImageDocument d;
    d.FilterI = nuvak::ImageKind::Colour;
    d.DemX = kWidth;
    d.DemY = kHeight;
    d.ImageZm = picture();
    d.Image = picture();
    nuvak::Progress silent;
    for (auto _ : state) {
        state.PauseTiming();
        d.ImageZm = picture();
        state.ResumeTiming();
        Command(d, silent);
        benchmark::DoNotOptimize(d.ImageZm.bytes.data());
        benchmark::DoNotOptimize(d.Image.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void HighPass(benchmark::State& state) { filter<nuvak::HighPassCommand>(state); }
void Blur(benchmark::State& state) { filter<nuvak::BlurCommand>(state); }
void LowPass(benchmark::State& state) { filter<nuvak::LowPassCommand>(state); }

BENCHMARK(HighPass)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(Blur)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(LowPass)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
