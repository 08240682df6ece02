// The RGB composite run on 3 x 20 frames of 2048 x 2048 with three darks, a flat and
// two-star alignment, beside the read of the same files measured in the same run:
//   ReadCompositeFiles   the reference: ReadFits and ApplyBzero(32768) of the 60 frames, the
//                        darks and the flat, into one array held across files
//   RunRGBComposite/2/1  the whole run from the same files to the colour picture, as the
//                        program makes it (every other frame prepared on a worker thread)
//                        (target: at most 4 times ReadCompositeFiles)
//   RunRGBComposite/2/0  the same on one thread, for comparison
//   RunRGBComposite/1/1  the same with one-star alignment (shifts only), for comparison
// The frames are sky noise with a few hot pixels and two stars drifting by a fraction of a
// pixel from frame to frame, so every frame is scaled and rotated on its way into the mean.
// Large blocks are offered large pages, as the program and the command line have them.
// bench_rgbcomp --write-project FILE.mvl writes the frames and a project file of the
// two-star set-up for the whole-process comparison (rgbcomp_processes.sh), and runs nothing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/fits.h"
#include "core/samples.h"
#include "platform/system/memory.h"
#include "rgbcomp/pipeline.h"
#include "rgbcomp/project.h"

namespace {

constexpr int kSide = 2048;
constexpr int kPerChannel = 20;
constexpr int kDarks = 3;

struct Star {
    double x, y, peak;
};

void writeFile(const std::string& path, const nuvak::IntArray2D& a) {
    const auto bytes = nuvak::EncodeFits16(a, kSide, kSide);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// A cheap deterministic noise source.
struct Noise {
    std::uint64_t s;
    std::uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(s >> 33);
    }
};

nuvak::IntArray2D frame(int k, Noise& noise) {
    nuvak::IntArray2D a(kSide, kSide);
    for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; ++y) {
            const std::uint32_t r = noise.next();
            a[x][y] = int(1000 + (r & 63)) + ((r >> 8) % 20000 == 0 ? 20000 : 0);
        }
    const double dx = 0.4 * (k % 7), dy = -0.3 * (k % 5);
    for (const Star& s : {Star{600.3, 700.6, 30000}, Star{1500.2, 1300.7, 20000}}) {
        const double sx = s.x + dx, sy = s.y + dy;
        for (int x = int(sx) - 10; x <= int(sx) + 10; ++x)
            for (int y = int(sy) - 10; y <= int(sy) + 10; ++y) {
                const double ex = x + 0.5 - sx, ey = y + 0.5 - sy;
                a[x][y] += int(s.peak * std::exp(-(ex * ex + ey * ey) / 6.0));
            }
    }
    return a;
}

const nuvak::RGBCompositeSetup& setup() {
    static const nuvak::RGBCompositeSetup s = [] {
        nuvak::RGBCompositeSetup out;
        const auto dir = std::filesystem::temp_directory_path() / "nuvak-rgbcomp-bench";
        std::filesystem::create_directories(dir);
        Noise noise{11};
        auto file = [&](const std::string& name) { return (dir / name).string(); };
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < kPerChannel; ++k) {
                char name[32];
                std::snprintf(name, sizeof name, "c%d-%02d.fits", c, k);
                const std::string path = file(name);
                writeFile(path, frame(k, noise));
                out.lists[c].push_back(path);
            }
        for (int k = 0; k < kDarks; ++k) {
            nuvak::IntArray2D d(kSide, kSide);
            for (int x = 0; x < kSide; ++x)
                for (int y = 0; y < kSide; ++y) d[x][y] = int(200 + (noise.next() & 15));
            char name[32];
            std::snprintf(name, sizeof name, "dark%d.fits", k);
            out.lists[nuvak::kDarkFrames].push_back(file(name));
            writeFile(out.lists[nuvak::kDarkFrames].back(), d);
        }
        // A flat that falls off by a quarter towards the corners.
        nuvak::IntArray2D f(kSide, kSide);
        for (int x = 0; x < kSide; ++x)
            for (int y = 0; y < kSide; ++y) {
                const double u = (x - kSide / 2.0) / kSide, v = (y - kSide / 2.0) / kSide;
                f[x][y] = int(40000 * (1 - 0.5 * (u * u + v * v)));
            }
        out.lists[nuvak::kFlatFrames].push_back(file("flat.fits"));
        writeFile(out.lists[nuvak::kFlatFrames].back(), f);

        out.starMode = nuvak::kTwoStars;
        out.x1 = 600, out.y1 = 700, out.delta1 = 10;
        out.x2 = 1500, out.y2 = 1300, out.delta2 = 10;
        out.bx = 100, out.by = 100, out.bgl = 10;
        return out;
    }();
    return s;
}

std::vector<std::string> allFiles() {
    std::vector<std::string> files;
    for (const auto& list : setup().lists) files.insert(files.end(), list.begin(), list.end());
    return files;
}

void ReadCompositeFiles(benchmark::State& state) {
    const std::vector<std::string> files = allFiles();
    nuvak::IntArray2D p(kSide, kSide);
    for (auto _ : state) {
        for (const std::string& path : files) {
            nuvak::ReadFits(path, p);
            nuvak::ApplyBzero(32768, kSide, kSide, p);
            benchmark::DoNotOptimize(p.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(files.size()));
}

void RunRGBComposite(benchmark::State& state) {
    nuvak::RGBCompositeSetup s = setup();
    s.starMode = static_cast<int>(state.range(0));
    nuvak::detail::UseFrameWorker(state.range(1) != 0);
    nuvak::Progress silent;
    for (auto _ : state) {
        const auto out = nuvak::RunRGBComposite(s, silent, nullptr);
        benchmark::DoNotOptimize(out->bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(allFiles().size()));
}

BENCHMARK(ReadCompositeFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(RunRGBComposite)
    ->Args({nuvak::kTwoStars, 1})
    ->Args({nuvak::kTwoStars, 0})
    ->Args({nuvak::kOneStar, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-project") {
        nuvak::SaveProjectFile(argv[2], setup());
        return 0;
    }
    nuvak::platform::UseLargePagesForRasters();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
