#pragma once
// The vector paths of the hot loops, chosen at run time: which ones this build holds, the
// widest this processor runs, and a guard that narrows the choice so that tests and
// benchmarks can run every path on one machine. Every path gives the same results.

#include <vector>

// SSE2: the build targets it (every x86-64 build does), so its code runs without a check.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define NUVAK_SIMD_SSE2 1
#else
#define NUVAK_SIMD_SSE2 0
#endif

// AVX2: compilers that build single functions for it whatever the build targets (g++ and
// clang on x86) hold its code, marked NUVAK_TARGET_AVX2, and run it where the processor has
// it. Other compilers leave it out and take the narrower paths.
#if NUVAK_SIMD_SSE2 && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define NUVAK_SIMD_AVX2 1
#define NUVAK_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define NUVAK_SIMD_AVX2 0
#define NUVAK_TARGET_AVX2
#endif

namespace nuvak::simd {

// Narrowest first: a processor that runs a path runs the ones before it.
enum class Path { Portable, Sse2, Avx2 };

// Whether this build holds the path's code.
constexpr bool Built(Path p) {
    return p == Path::Portable || (p == Path::Sse2 && NUVAK_SIMD_SSE2) || (p == Path::Avx2 && NUVAK_SIMD_AVX2);
}

// The widest path this build holds and this processor runs, looked up once.
Path Widest();

// The path the hot loops take now: Widest(), or narrower while a Narrow guard lives.
Path Chosen();

// Whether code written for p may run now: p is no wider than Chosen().
inline bool Use(Path p) { return p <= Chosen(); }

// Every path this build holds and this processor runs, narrowest first.
std::vector<Path> Available();

// "portable", "SSE2", "AVX2".
const char* Name(Path p);

// Holds the choice at most at `widest` (never wider than it already was) for its lifetime;
// the choice before comes back at its end. Meant for tests and benchmarks: the choice is
// one for the whole program, read by every thread.
class Narrow {
public:
    explicit Narrow(Path widest);
    ~Narrow();
    Narrow(const Narrow&) = delete;
    Narrow& operator=(const Narrow&) = delete;

private:
    Path previous_;
};

}  // namespace nuvak::simd
