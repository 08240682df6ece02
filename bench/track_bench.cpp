// Tracking measurement speed per frame on 2048 x 2048 frames, beside the read of the same
// frames measured in the same run (items per second = frames per second):
//   ReadFrame            the reference: header and samples of a whole frame, zero offset
//                        applied, into an array held across frames
//   MeasureWholeFrame    the run over the whole frame: read, convert, peak, centroid
//                        (target: at most 1.5 times ReadFrame's time per frame)
//   MeasureWholeFrameNoiseCut  the same with the hot-pixel removal on every frame
//   MeasureGivenStar     the run with a star given (search range 20): only the rows the search
//                        can reach are read (target: at most a quarter of ReadFrame's time)
//   MeasureGivenStarNoiseCutDark  the same with the noise cut and a master dark of two darks,
//                        made only over the rows the frames reach
//   ReportWholeFrame, ReportGivenStar  the tracking report's own pass over the same frames
//                        (star fit, sky, half-flux diameter), beside the run it accompanies
//   NoiseCutRatioTwo     the hot-pixel removal alone on a whole frame at ratio 2 (integer lanes,
//                        the widest this processor has: sixteen 16-bit lanes with AVX2),
//   NoiseCutEightLanes   the same forced onto eight 16-bit lanes (SSE2),
//   NoiseCutPortable     and onto the portable 32-bit integer path,
//   NoiseCutPlain        beside the general routine at the next ratio above 2, which makes the
//                        same decisions in double precision (the same frame, items = frames)
// Each run measures kRun frames (three files in turn), so that the buffers allocated once
// per run weigh as they would in a real series.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/fileio.h"
#include "core/fits.h"
#include "core/hotpixels.h"
#include "core/samples.h"
#include "core/simd.h"
#include "tracking/measure.h"
#include "tracking/report.h"

namespace {

constexpr int kSide = 2048;
constexpr int kFiles = 3;
constexpr int kRun = 12;

void writeFile(const std::filesystem::path& p, const nuvak::IntArray2D& a) {
    const auto bytes = nuvak::EncodeFits16(a, kSide, kSide);
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

struct Series {
    std::vector<std::string> frames;  // kRun entries
    std::vector<std::string> darks;
    double starX = 1000.3, starY = 1200.6;
};

// Three frames of sky noise with a star drifting half a pixel per frame and some hot
// pixels, and one dark, written once into the temporary folder.
const Series& series() {
    static const Series s = [] {
        Series out;
        const auto dir = std::filesystem::temp_directory_path() / "nuvak-track-bench";
        std::filesystem::create_directories(dir);
        std::mt19937 rng(5);
        std::vector<std::string> files;
        for (int k = 0; k < kFiles; ++k) {
            nuvak::IntArray2D a(kSide, kSide);
            for (int x = 0; x < kSide; ++x)
                for (int y = 0; y < kSide; ++y) a[x][y] = int(1000 + rng() % 64) + (rng() % 5000 == 0 ? 20000 : 0);
            const double sx = out.starX + 0.5 * k, sy = out.starY - 0.3 * k;
            for (int x = int(sx) - 12; x <= int(sx) + 12; ++x)
                for (int y = int(sy) - 12; y <= int(sy) + 12; ++y) {
                    const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
                    a[x][y] += int(30000 * std::exp(-(dx * dx + dy * dy) / 8.0));
                }
            const auto p = dir / ("frame" + std::to_string(k) + ".fits");
            writeFile(p, a);
            files.push_back(p.string());
        }
        for (int i = 0; i < kRun; ++i) out.frames.push_back(files[i % kFiles]);
        for (int k = 0; k < 2; ++k) {
            nuvak::IntArray2D d(kSide, kSide);
            for (int x = 0; x < kSide; ++x)
                for (int y = 0; y < kSide; ++y) d[x][y] = int(200 + rng() % 16);
            out.darks.push_back((dir / ("dark" + std::to_string(k) + ".fits")).string());
            writeFile(out.darks.back(), d);
        }
        return out;
    }();
    return s;
}

void ReadFrame(benchmark::State& state) {
    const Series& s = series();
    nuvak::IntArray2D p(kSide, kSide);
    for (auto _ : state) {
        for (const std::string& path : s.frames) {
            nuvak::FileSource source(path);
            nuvak::LoadFitsInto(source, p);
            benchmark::DoNotOptimize(p.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kRun);
}

void measure(benchmark::State& state, const nuvak::MeasureSettings& settings) {
    const Series& s = series();
    nuvak::TrackingState track;
    for (auto _ : state) {
        nuvak::RunMeasurement(s.frames, settings, track);
        benchmark::DoNotOptimize(track.CentroidX.data());
    }
    state.SetItemsProcessed(state.iterations() * kRun);
}

void MeasureWholeFrame(benchmark::State& state) { measure(state, {}); }

void MeasureWholeFrameNoiseCut(benchmark::State& state) {
    nuvak::MeasureSettings settings;
    settings.noiseCut = true;
    measure(state, settings);
}

nuvak::MeasureSettings givenStar() {
    nuvak::MeasureSettings settings;
    settings.starSpecified = true;
    settings.starX = int(series().starX);
    settings.starY = int(series().starY);
    settings.searchRange = 20;
    return settings;
}

void MeasureGivenStar(benchmark::State& state) { measure(state, givenStar()); }

void MeasureGivenStarNoiseCutDark(benchmark::State& state) {
    nuvak::MeasureSettings settings = givenStar();
    settings.noiseCut = true;
    settings.darkProcessing = true;
    settings.darks = series().darks;
    measure(state, settings);
}

void report(benchmark::State& state, const nuvak::MeasureSettings& settings) {
    const Series& s = series();
    for (auto _ : state) benchmark::DoNotOptimize(nuvak::MeasureReportFrames(s.frames, settings));
    state.SetItemsProcessed(state.iterations() * kRun);
}

void ReportWholeFrame(benchmark::State& state) { report(state, {}); }
void ReportGivenStar(benchmark::State& state) { report(state, givenStar()); }

template <class Cut>
void noiseCut(benchmark::State& state, Cut cut) {
    nuvak::FileSource source(series().frames[0]);
    const nuvak::FitsImage image = nuvak::LoadFits(source);
    nuvak::IntArray2D out(kSide, kSide);
    for (auto _ : state) {
        cut(image.samples, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void noiseCut(benchmark::State& state, double ratio) {
    noiseCut(state, [&](const nuvak::IntArray2D& p, nuvak::IntArray2D& c) {
        nuvak::RemoveHotPixelsRows(ratio, kSide, kSide, p, c, 0, kSide);
    });
}

void noiseCutOn(benchmark::State& state, nuvak::simd::Path path) {
    if (path > nuvak::simd::Widest()) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const nuvak::simd::Narrow only(path);
    noiseCut(state, 2.0);
}

void NoiseCutRatioTwo(benchmark::State& state) { noiseCut(state, 2.0); }
void NoiseCutEightLanes(benchmark::State& state) { noiseCutOn(state, nuvak::simd::Path::Sse2); }
void NoiseCutPortable(benchmark::State& state) { noiseCutOn(state, nuvak::simd::Path::Portable); }
void NoiseCutPlain(benchmark::State& state) { noiseCut(state, std::nextafter(2.0, 3.0)); }

BENCHMARK(ReadFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MeasureWholeFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MeasureWholeFrameNoiseCut)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MeasureGivenStar)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MeasureGivenStarNoiseCutDark)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ReportWholeFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ReportGivenStar)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(NoiseCutRatioTwo)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(NoiseCutEightLanes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(NoiseCutPortable)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(NoiseCutPlain)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
