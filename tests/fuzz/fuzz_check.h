#pragma once
// What a fuzz target asserts beyond "no crash": a broken promise of a reader ends the run
// with the reason, so that libFuzzer (and the replay) report the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace nuvak::fuzz {

inline void Check(bool holds, const char* promise) {
    if (holds) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

}  // namespace nuvak::fuzz
