#include "rgbcomp/calibration.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "core/fits.h"
#include "core/fitsgeneral.h"
#include "core/format.h"
#include "core/simd.h"
#include "resources/messages.h"

#if NUVAK_SIMD_AVX2
#include <immintrin.h>
#endif

namespace nuvak {

namespace {

// Truncation towards zero, saturated to 32 bits so that no value is out of range.
inline std::int32_t TruncInt(double v) {
    v = std::clamp(v, double(std::numeric_limits<std::int32_t>::min()),
                   double(std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(v);
}

// Rows y0 .. h - 1 of one column of the pass of CalibrateFrame for one combination of steps,
// so that the inner loop has no tests. dst is the output column (its last row when turned).
template <bool Dark, bool Flat, bool Turn>
inline void CalibrateRows(const std::int32_t* src, const std::int32_t* d, const double* l, std::int32_t* dst, int y0,
                          int h) {
    for (int y = y0; y < h; ++y) {
        std::int32_t v = src[y];
        if constexpr (Dark)
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - static_cast<std::uint32_t>(d[y]));
        if constexpr (Flat) {
            // Where L <= 0 (a flat pixel of 0) the pixel stays.
            const bool divide = l[y] > 0;
            const double q = double(v) / (divide ? l[y] : 1.0);
            v = divide ? TruncInt(q) : v;
        }
        if constexpr (Turn) {
            *(dst - y) = v;
        } else {
            dst[y] = v;
        }
    }
}

template <bool Dark, bool Flat, bool Turn>
void CalibratePass(const IntArray2D* dark, const DoubleArray2D* levels, int w, int h, const IntArray2D& frame,
                   IntArray2D& out) {
    for (int x = 0; x < w; ++x)
        CalibrateRows<Dark, Flat, Turn>(frame[x], Dark ? (*dark)[x] : nullptr, Flat ? (*levels)[x] : nullptr,
                                        Turn ? out[w - 1 - x] + (h - 1) : out[x], 0, h);
}

#if NUVAK_SIMD_AVX2
// The same passes four pixels at a time, compiled for AVX2 whatever the build targets and run
// only where the processor has it: each lane the operations of CalibratePass (the division
// is exact per lane, the clamp of TruncInt is a minimum and maximum of finite values).
template <bool Dark, bool Flat, bool Turn>
NUVAK_TARGET_AVX2 void CalibratePassWide(const IntArray2D* dark, const DoubleArray2D* levels, int w, int h,
                                         const IntArray2D& frame, IntArray2D& out) {
    const __m256d lo = _mm256_set1_pd(double(std::numeric_limits<std::int32_t>::min()));
    const __m256d hi = _mm256_set1_pd(double(std::numeric_limits<std::int32_t>::max()));
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    const int body = h & ~3;
    for (int x = 0; x < w; ++x) {
        const std::int32_t* src = frame[x];
        const std::int32_t* d = Dark ? (*dark)[x] : nullptr;
        const double* l = Flat ? (*levels)[x] : nullptr;
        std::int32_t* dst = Turn ? out[w - 1 - x] + (h - 1) : out[x];
        for (int y = 0; y < body; y += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y));
            if constexpr (Dark) v = _mm_sub_epi32(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + y)));
            if constexpr (Flat) {
                const __m256d level = _mm256_loadu_pd(l + y);
                const __m256d divide = _mm256_cmp_pd(level, zero, _CMP_GT_OQ);
                __m256d q = _mm256_div_pd(_mm256_cvtepi32_pd(v), _mm256_blendv_pd(one, level, divide));
                q = _mm256_min_pd(_mm256_max_pd(q, lo), hi);
                const __m128i take = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
                    _mm256_castpd_si256(divide), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
                v = _mm_blendv_epi8(v, _mm256_cvttpd_epi32(q), take);
            }
            if constexpr (Turn) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst - y - 3), _mm_shuffle_epi32(v, 0x1B));
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + y), v);
            }
        }
        CalibrateRows<Dark, Flat, Turn>(src, d, l, dst, body, h);
    }
}

// acc[y] += src[y] / n over n rows, four at a time.
NUVAK_TARGET_AVX2 void AddQuotientsWide(const std::int32_t* src, double n, double* acc, int rows) {
    const __m256d divisor = _mm256_set1_pd(n);
    int y = 0;
    for (; y + 4 <= rows; y += 4) {
        const __m256d v = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y)));
        _mm256_storeu_pd(acc + y, _mm256_add_pd(_mm256_loadu_pd(acc + y), _mm256_div_pd(v, divisor)));
    }
    for (; y < rows; ++y) acc[y] += double(src[y]) / n;
}

bool Wide() { return simd::Use(simd::Path::Avx2); }
#endif

// acc[y] += src[y] / n over n rows.
void AddQuotients(const std::int32_t* src, int n, double* acc, int rows) {
#if NUVAK_SIMD_AVX2
    if (Wide()) return AddQuotientsWide(src, n, acc, rows);
#endif
    for (int y = 0; y < rows; ++y) acc[y] += double(src[y]) / n;
}

template <bool Dark, bool Flat, bool Turn>
void CalibrateAny(const IntArray2D* dark, const DoubleArray2D* levels, int w, int h, const IntArray2D& frame,
                  IntArray2D& out) {
#if NUVAK_SIMD_AVX2
    if (Wide()) return CalibratePassWide<Dark, Flat, Turn>(dark, levels, w, h, frame, out);
#endif
    CalibratePass<Dark, Flat, Turn>(dark, levels, w, h, frame, out);
}

template <bool Dark, bool Flat>
void CalibrateWith(const IntArray2D* dark, const DoubleArray2D* levels, bool turn, int w, int h, IntArray2D& frame,
                   IntArray2D& spare) {
    if (turn) {
        CalibrateAny<Dark, Flat, true>(dark, levels, w, h, frame, spare);
        std::swap(frame, spare);
    } else {
        CalibrateAny<Dark, Flat, false>(dark, levels, w, h, frame, frame);
    }
}

}  // namespace

FrameSize ReadCompositeFrame(const std::string& path, int w, int h, IntArray2D& p) {
    const std::unique_ptr<ByteSource> opened = OpenFitsSource(path);
    ByteSource& source = *opened;
    const FitsHeader header = ReadFitsHeader(source);
    const FrameSize size{header.width, header.height};
    // One pass over the samples, folding each as ApplyBzero(32768) would; the file's own
    // zero offset is not consulted.
    if (size == FrameSize{w, h}) ReadFitsRows(source, header, kCompositeFold, p);
    return size;
}

void ReadSizedFrame(const std::string& path, int w, int h, IntArray2D& p) {
    const FrameSize size = ReadCompositeFrame(path, w, h, p);
    if (size == FrameSize{w, h}) return;
    throw CompositeError(FillMessage(msg::kCompositeSizeDiffers, path, size.width, size.height, w, h));
}

namespace {

bool HasLongRunPlain(std::int32_t t, int l, int w, int h, const IntArray2D& c) {
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = c[x];
        int run = 0;
        for (int y = 0; y < h; ++y) {
            run = col[y] >= t ? run + 1 : 0;
            if (run > l) return true;
        }
    }
    return false;
}

#if NUVAK_SIMD_AVX2
// The same search on bit masks of 64 rows (bit k: row base + k at or above t): a run inside
// a word shows as a bit left set after l shifted ands, a run across words as the ones at the
// top of the words before plus those at the bottom of this one. For 0 <= l and t above the
// smallest value (t - 1 is then below t).
NUVAK_TARGET_AVX2 bool HasLongRunWide(std::int32_t t, int l, int w, int h, const IntArray2D& c) {
    const __m256i below = _mm256_set1_epi32(t - 1);
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = c[x];
        std::int64_t carry = 0;  // ones at the top of the words before
        for (int base = 0; base < h; base += 64) {
            std::uint64_t m = 0;
            if (h - base >= 64) {
                for (int k = 0; k < 8; ++k) {
                    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(col + base + 8 * k));
                    const int bits = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, below)));
                    m |= std::uint64_t(unsigned(bits)) << (8 * k);
                }
            } else {
                for (int y = base; y < h; ++y) m |= std::uint64_t(col[y] >= t) << (y - base);
            }
            if (l < 64) {
                std::uint64_t r = m;
                for (int k = 1; k <= l && r; ++k) r &= m >> k;
                if (r) return true;
            }
            if (carry + std::countr_one(m) > l) return true;
            carry = ~m == 0 ? carry + 64 : std::countl_one(m);
        }
    }
    return false;
}
#endif

}  // namespace

bool HasLongRun(std::int32_t t, int l, int w, int h, const IntArray2D& c) {
#if NUVAK_SIMD_AVX2
    if (Wide() && l >= 0 && t > std::numeric_limits<std::int32_t>::min()) return HasLongRunWide(t, l, w, h, c);
#endif
    return HasLongRunPlain(t, l, w, h, c);
}

void BuildMasterDark(const std::vector<std::string>& darks, int w, int h, IntArray2D& dark, DoubleArray2D& acc,
                     Progress& progress, const CompositeNotice& notice) {
    const int n = static_cast<int>(darks.size());
    std::memset(acc.data(), 0, acc.size() * sizeof(double));
    for (const std::string& path : darks) {
        if (ReadCompositeFrame(path, w, h, dark) != FrameSize{w, h}) {
            if (notice) notice(msg::kCompositeResolutionError);
            break;
        }
        ColumnProgress bar(progress, w);
        for (int x = 0; x < w; ++x) {
            bar.at(x);
            AddQuotients(dark[x], n, acc[x], h);
        }
    }
    TruncateInto(acc, w, h, dark);
}

DoubleArray2D LoadFlatLevels(const std::string& path, int w, int h, IntArray2D& scratch) {
    ReadSizedFrame(path, w, h, scratch);
    std::int32_t top = 0;
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = scratch[x];
        for (int y = 0; y < h; ++y) top = std::max(top, col[y]);
    }
    // A flat of zeros gives 0 / 0 everywhere: no level above 0, so no pixel is divided.
    const double largest = top;
    DoubleArray2D levels(w, h);
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = scratch[x];
        double* l = levels[x];
        for (int y = 0; y < h; ++y) l[y] = col[y] / largest;
    }
    return levels;
}

void CalibrateFrame(const IntArray2D* dark, const DoubleArray2D* levels, bool turn, int w, int h, IntArray2D& frame,
                    IntArray2D& spare) {
    if (dark && levels) {
        CalibrateWith<true, true>(dark, levels, turn, w, h, frame, spare);
    } else if (dark) {
        CalibrateWith<true, false>(dark, levels, turn, w, h, frame, spare);
    } else if (levels) {
        CalibrateWith<false, true>(dark, levels, turn, w, h, frame, spare);
    } else if (turn) {
        CalibrateWith<false, false>(dark, levels, turn, w, h, frame, spare);
    }
}

void AccumulateShifted(const IntArray2D& frame, FrameShift shift, int n, int w, int h, DoubleArray2D& acc,
                       Progress& progress) {
    AccumulateShifted(frame, shift, n, w, h, acc, progress, 0, w);
}

void AccumulateShifted(const IntArray2D& frame, FrameShift shift, int n, int w, int h, DoubleArray2D& acc,
                       Progress& progress, int x0, int x1) {
    // Rows y whose source row y + dy lies inside the frame.
    const int y0 = std::max(0, -shift.dy), y1 = std::min(h, h - shift.dy);
    ColumnProgress bar(progress, x1 - x0);
    for (int x = x0; x < x1; ++x) {
        bar.at(x - x0);
        const int sx = x + shift.dx;
        if (sx < 0 || sx >= w || y0 >= y1) continue;
        AddQuotients(frame[sx] + y0 + shift.dy, n, acc[x] + y0, y1 - y0);
    }
}

void TruncateInto(const DoubleArray2D& acc, int w, int h, IntArray2D& out) {
    for (int x = 0; x < w; ++x) {
        const double* a = acc[x];
        std::int32_t* o = out[x];
        for (int y = 0; y < h; ++y) o[y] = TruncInt(a[y]);
    }
}

}  // namespace nuvak
