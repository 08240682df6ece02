// The composite of 20 colour pictures of 4000 x 3000 (a stack of 24-bit BMPs' worth), items =
// pixels of the result:
//   Average        Composite by "平均": trunc(sum / 20) of every byte
//   ExpectedValue  Composite by "期待値": the median of every byte (the truncated mean of
//                  the two middle values, 20 being even)
// The pictures are the ones bench/stacking_processes.sh gives numpy's mean and median:
//   byte k of pixel (x, y) of picture f = (37 (3 x + k) + 101 y + 149 f + (x xor (y + 7 f)) mod 64
//                                          + (f (x + 3 y)) mod 97) mod 256.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "stacking/composite.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kPictures = 20;

const std::vector<nuvak::Raster>& pictures() {
    static const std::vector<nuvak::Raster> all = [] {
        std::vector<nuvak::Raster> out;
        for (int f = 0; f < kPictures; ++f) {
            nuvak::Raster r(kWidth, kHeight, nuvak::Raster::Unwritten{});
            for (int y = 0; y < kHeight; ++y) {
                std::uint8_t* row = r.row(y);
                for (int x = 0; x < kWidth; ++x)
                    for (int k = 0; k < 3; ++k)
                        row[3 * x + k] = std::uint8_t(37 * (3 * x + k) + 101 * y + 149 * f + ((x ^ (y + 7 * f)) & 63) +
                                                      (f * (x + 3 * y)) % 97);
            }
            out.push_back(std::move(r));
        }
        return out;
    }();
    return all;
}

void composite(benchmark::State& state, nuvak::CompositeMethod method) {
    std::vector<const nuvak::Raster*> listed;
    for (const nuvak::Raster& r : pictures()) listed.push_back(&r);
    nuvak::Progress silent;
    for (auto _ : state) {
        nuvak::Raster out = nuvak::Composite(listed, method, silent);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Average(benchmark::State& state) { composite(state, nuvak::CompositeMethod::Average); }
void ExpectedValue(benchmark::State& state) { composite(state, nuvak::CompositeMethod::ExpectedValue); }

BENCHMARK(Average)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(ExpectedValue)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
