#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/simd.h"

namespace nuvak {
namespace {

using simd::Path;

TEST(Simd, GuardsNarrowTheChoiceAndRestoreIt) {
    const Path widest = simd::Widest();
    const std::vector<Path> available = simd::Available();
    ASSERT_FALSE(available.empty());
    EXPECT_EQ(available.front(), Path::Portable);
    EXPECT_EQ(available.back(), widest);
    EXPECT_TRUE(std::is_sorted(available.begin(), available.end()));
    EXPECT_EQ(simd::Chosen(), widest);

    // outer guard, inner guard: the choice inside both, and after the inner one ends.
    struct Row {
        Path outer, inner, inside, after;
    } rows[] = {
        {Path::Avx2, Path::Avx2, widest, widest},
        {Path::Avx2, Path::Portable, Path::Portable, widest},
        {Path::Sse2, Path::Avx2, std::min(widest, Path::Sse2), std::min(widest, Path::Sse2)},
        {Path::Portable, Path::Sse2, Path::Portable, Path::Portable},
    };
    for (const Row& r : rows) {
        {
            const simd::Narrow outer(r.outer);
            {
                const simd::Narrow inner(r.inner);
                EXPECT_EQ(simd::Chosen(), r.inside) << simd::Name(r.outer) << " " << simd::Name(r.inner);
                for (Path p : {Path::Portable, Path::Sse2, Path::Avx2}) EXPECT_EQ(simd::Use(p), p <= r.inside);
            }
            EXPECT_EQ(simd::Chosen(), r.after) << simd::Name(r.outer) << " " << simd::Name(r.inner);
        }
        EXPECT_EQ(simd::Chosen(), widest);
    }
}

}  // namespace
}  // namespace nuvak
