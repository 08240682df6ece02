#include "core/simd.h"

#include <algorithm>
#include <atomic>

namespace nuvak::simd {

namespace {

Path Detect() {
#if NUVAK_SIMD_AVX2
    // Also checks that the operating system saves the wide registers.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return Path::Avx2;
#endif
    return NUVAK_SIMD_SSE2 ? Path::Sse2 : Path::Portable;
}

// The widest path a guard allows; the widest of all when no guard lives.
std::atomic<Path> g_limit{Path::Avx2};

}  // namespace

Path Widest() {
    static const Path widest = Detect();
    return widest;
}

Path Chosen() { return std::min(Widest(), g_limit.load(std::memory_order_relaxed)); }

std::vector<Path> Available() {
    std::vector<Path> paths;
    for (Path p : {Path::Portable, Path::Sse2, Path::Avx2})
        if (Built(p) && p <= Widest()) paths.push_back(p);
    return paths;
}

const char* Name(Path p) {
    switch (p) {
        case Path::Portable: return "portable";
        case Path::Sse2: return "SSE2";
        case Path::Avx2: return "AVX2";
    }
    return "?";
}

Narrow::Narrow(Path widest) : previous_(g_limit.load(std::memory_order_relaxed)) {
    g_limit.store(std::min(previous_, widest), std::memory_order_relaxed);
}

Narrow::~Narrow() { g_limit.store(previous_, std::memory_order_relaxed); }

}  // namespace nuvak::simd
