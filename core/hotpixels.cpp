#include "core/hotpixels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "core/simd.h"

// 16-bit lanes: eight (SSE2) wherever the build targets it; sixteen (AVX2) besides where the
// build holds them and the processor runs them.
#if NUVAK_SIMD_SSE2
#include <emmintrin.h>
#endif
#if NUVAK_SIMD_AVX2
#include <immintrin.h>
#endif

namespace nuvak {

namespace {

// One column x of a band: l, m and r point at the values of its first row in the columns
// x - 1, x and x + 1 (the row above is m[-1]), out at the first row of c[x]; n rows.
struct Columns {
    const std::int32_t* l;
    const std::int32_t* m;
    const std::int32_t* r;
    std::int32_t* out;
    int n;
};

// The smallest of the nine values around row i, from 65536. Every value of the 3 x 3 block
// is then at least lo, and b = lo - 1 lies below each of them.
inline std::int32_t smallestOfNine(const Columns& c, int i) {
    const std::int32_t vl = std::min(std::min(c.l[i - 1], c.l[i]), c.l[i + 1]);
    const std::int32_t vm = std::min(std::min(c.m[i - 1], c.m[i]), c.m[i + 1]);
    const std::int32_t vr = std::min(std::min(c.r[i - 1], c.r[i]), c.r[i + 1]);
    return std::min(std::min(vl, vm), std::min(vr, std::int32_t(65536)));
}

// The smallest of the four direct neighbours: c / d is largest for the smallest neighbour
// difference d (all are positive), so "greater than ratio for any neighbour" is decided by it.
inline std::int32_t nearestNeighbour(const Columns& c, int i) {
    return std::min(std::min(c.l[i], c.r[i]), std::min(c.m[i - 1], c.m[i + 1]));
}

// Any ratio: the quotient of the two differences in double precision, as the rule states it.
// Branch-free, so that the compiler runs several rows at once.
void plainColumn(double ratio, const Columns& c) {
    for (int i = 0, n = c.n; i < n; ++i) {
        const double b = double(smallestOfNine(c, i)) - 1.0;
        const bool hot = (double(c.m[i]) - b) / (double(nearestNeighbour(c, i)) - b) > ratio;
        // The sum of four 32-bit values is exact in a double; x 0.25 and truncation as stated.
        const double mean = (double(c.l[i]) + double(c.r[i]) + (double(c.m[i - 1]) + double(c.m[i + 1]))) * 0.25;
        const std::int32_t keep = std::int32_t(hot) - 1;  // all ones where the pixel stays
        c.out[i] = (static_cast<std::int32_t>(mean) & ~keep) | (c.m[i] & keep);
    }
}

// Ratio 2 in 32-bit integer lanes, which the compiler vectorises; the same decisions and
// means as plainColumn for every 32-bit input.
//
// Decision. With lo the smallest of nine, D = m - lo + 1 and E = nearest - lo + 1 are whole
// numbers in 1 .. 2^32 (m, nearest >= lo), exact in a double. If D / E > 2, then
// D / E - 2 = (D - 2E) / E >= 2^-32, far above half a unit in the last place at 2 (2^-52), so
// the rounded quotient exceeds 2 as well; if D / E <= 2, the rounded quotient is at most 2.
// Hence hot <=> D > 2E <=> d > 2e + 1 with d = m - lo and e = nearest - lo, both in
// 0 .. 2^32 - 1 and so exact as unsigned 32-bit differences. For e >= 2^31, 2e + 1 exceeds
// every d: not hot; below that 2e + 1 fits in 32 unsigned bits.
//
// Mean. trunc(s / 4) of the sum s of four values: with v = 4 (v >> 2) + (v & 3) (arithmetic
// shift, floor), s = 4q + t where q is the sum of the v >> 2 (each in -2^29 .. 2^29 - 1, so q
// fits in 32 bits) and t of the v & 3 (0 .. 12). floor(s / 4) = q + (t >> 2), which lies in
// the 32-bit range as the mean does; truncation adds one where s < 0 (that floor is negative)
// and 4 does not divide s (t & 3 is not 0).
void ratioTwoColumn(const Columns& c) {
    for (int i = 0, n = c.n; i < n; ++i) {
        const std::uint32_t lo = static_cast<std::uint32_t>(smallestOfNine(c, i));
        const std::uint32_t e = static_cast<std::uint32_t>(nearestNeighbour(c, i)) - lo;
        const std::uint32_t d = static_cast<std::uint32_t>(c.m[i]) - lo;
        const bool hot = (e < 0x80000000u) & (d > 2 * e + 1);
        const std::int32_t a = c.l[i], b = c.r[i], u = c.m[i - 1], v = c.m[i + 1];
        const std::int32_t q = (a >> 2) + (b >> 2) + (u >> 2) + (v >> 2);
        const std::int32_t t = (a & 3) + (b & 3) + (u & 3) + (v & 3);
        const std::int32_t down = q + (t >> 2);
        const std::int32_t mean = down + std::int32_t((down < 0) & ((t & 3) != 0));
        const std::int32_t keep = std::int32_t(hot) - 1;
        c.out[i] = (mean & ~keep) | (c.m[i] & keep);
    }
}

#if NUVAK_SIMD_SSE2
// Ratio 2 on samples of 0 ... 65535, the values of converted frames, in 16-bit lanes: the
// same decisions and means as ratioTwoColumn. Eight lanes (SSE2) hold v - 32768 as signed
// values, whose order is that of v, for the signed minimum SSE2 has.
//
// Decision: hot <=> d > 2e + 1 <=> m + lo > 2 nearest + 1 <=> floor((m + lo) / 2) > nearest,
// where the half of two offset values, (a & b) + ((a ^ b) >> 1), cannot overflow and is the
// half of the two v less 32768.
// Mean: with x = floor((l + r) / 2), y = floor((u + d) / 2) and c = 1 where both pair sums are
// odd, the sum is 2x + 2y + (0, 1 or 2), so floor(sum / 4) = floor((x + y + c) / 2); no value
// is negative, so that is the truncation. SSE2's unsigned average rounds up, so it is taken of
// complements 65535 - v: avg(65535 - a, 65535 - b) = 65535 - floor((a + b) / 2), and
// 65535 - mean = avg(65535 - x - c, 65535 - y) (c = 1 needs l + r odd, so x < 65535).
// Without the centre lo differs only where the centre is the smallest of the nine, and there
// neither lo makes it hot (floor((m + lo) / 2) < nearest): the centre's row is left out.
//
// narrow*(src, v, count) stores count >= lanes values from src on as 16-bit lanes at v;
// false when one lies outside 0 ... 65535. decide*(l, m, r, out, n) decides the n >= lanes
// rows of a column from its narrowed columns x - 1, x and x + 1 (each from the row above the
// first) into out. Where count is not a multiple of the lanes, the last step overlaps the one
// before and writes the same values again.

// step(i) for i = 0, 8, ... and, when count is not a multiple of eight, count - 8.
template <class Step>
void eightAtATime(int count, Step step) {
    int i = 0;
    for (; i + 8 <= count; i += 8) step(i);
    if (i < count) step(count - 8);
}

bool narrowEight(const std::int32_t* src, std::int16_t* v, int count) {
    const __m128i half = _mm_set1_epi32(32768);
    __m128i any = _mm_setzero_si128();
    eightAtATime(count, [&](int i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4));
        any = _mm_or_si128(any, _mm_or_si128(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i),
                         _mm_packs_epi32(_mm_sub_epi32(a, half), _mm_sub_epi32(b, half)));
    });
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(any, 16), _mm_setzero_si128())) == 0xFFFF;
}

void decideEight(const std::int16_t* l, const std::int16_t* m, const std::int16_t* r, std::int32_t* out, int n) {
    const __m128i one = _mm_set1_epi16(1), flip = _mm_set1_epi16(-32768), complement = _mm_set1_epi16(0x7FFF);
    const __m128i zero = _mm_setzero_si128();
    const auto load = [](const std::int16_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
    eightAtATime(n, [&](int i) {
        const __m128i l0 = load(l + i), l1 = load(l + i + 1), l2 = load(l + i + 2);
        const __m128i m0 = load(m + i), m1 = load(m + i + 1), m2 = load(m + i + 2);
        const __m128i r0 = load(r + i), r1 = load(r + i + 1), r2 = load(r + i + 2);
        const __m128i nearest = _mm_min_epi16(_mm_min_epi16(l1, r1), _mm_min_epi16(m0, m2));
        const __m128i lo = _mm_min_epi16(nearest, _mm_min_epi16(_mm_min_epi16(l0, l2), _mm_min_epi16(r0, r2)));
        const __m128i halfSum = _mm_add_epi16(_mm_and_si128(m1, lo), _mm_srai_epi16(_mm_xor_si128(m1, lo), 1));
        const __m128i hot = _mm_cmpgt_epi16(halfSum, nearest);
        const __m128i x = _mm_avg_epu16(_mm_xor_si128(l1, complement), _mm_xor_si128(r1, complement));
        const __m128i y = _mm_avg_epu16(_mm_xor_si128(m0, complement), _mm_xor_si128(m2, complement));
        const __m128i c = _mm_and_si128(_mm_and_si128(_mm_xor_si128(l1, r1), _mm_xor_si128(m0, m2)), one);
        const __m128i mean = _mm_xor_si128(_mm_avg_epu16(_mm_sub_epi16(x, c), y), complement);
        const __m128i result = _mm_xor_si128(_mm_or_si128(_mm_and_si128(hot, mean), _mm_andnot_si128(hot, m1)), flip);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi16(result, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi16(result, zero));
    });
}

#if NUVAK_SIMD_AVX2
// Sixteen lanes, compiled for AVX2 whatever the build targets and run only where the
// processor has it. AVX2 has the unsigned maximum, so these lanes hold the complements
// v' = 65535 - v, on which the unsigned average serves without the flips:
// Decision: the minima become maxima (nearest', lo'), and floor((m + lo) / 2) > nearest
// <=> 65535 - ceil((m' + lo') / 2) > 65535 - nearest' <=> avg(m', lo') < nearest', that is
// where nearest' - avg(m', lo') saturated at 0 is not 0.
// Mean: x' = avg(l', r') = 65535 - x, y' likewise, and 65535 - mean = avg(x' - c, y'); a pair
// of complements has the parity of the pair, so c is found as before.
// Plain loops: a lambda would not take the function's target.
NUVAK_TARGET_AVX2 inline __m256i load16(const void* q) { return _mm256_loadu_si256(static_cast<const __m256i*>(q)); }
NUVAK_TARGET_AVX2 inline void store16(void* q, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(q), v); }

NUVAK_TARGET_AVX2 bool narrowSixteen(const std::int32_t* src, std::int16_t* v, int count) {
    const __m256i top = _mm256_set1_epi32(65535);
    __m256i any = _mm256_setzero_si256();
    for (int j = 0; j < count; j += 16) {
        const int i = std::min(j, count - 16);
        const __m256i a = load16(src + i), b = load16(src + i + 8);
        any = _mm256_or_si256(any, _mm256_or_si256(a, b));
        // The pack works within each 128-bit half (a0..3 b0..3 a4..7 b4..7): the quarters are
        // put back in order.
        const __m256i packed = _mm256_packus_epi32(_mm256_sub_epi32(top, a), _mm256_sub_epi32(top, b));
        store16(v + i, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return _mm256_testz_si256(any, _mm256_set1_epi32(std::int32_t(0xFFFF0000u))) != 0;
}

NUVAK_TARGET_AVX2 void decideSixteen(const std::int16_t* l, const std::int16_t* m, const std::int16_t* r,
                                     std::int32_t* out, int n) {
    const __m256i one = _mm256_set1_epi16(1), complement = _mm256_set1_epi16(-1);
    for (int j = 0; j < n; j += 16) {
        const int i = std::min(j, n - 16);
        const __m256i l0 = load16(l + i), l1 = load16(l + i + 1), l2 = load16(l + i + 2);
        const __m256i m0 = load16(m + i), m1 = load16(m + i + 1), m2 = load16(m + i + 2);
        const __m256i r0 = load16(r + i), r1 = load16(r + i + 1), r2 = load16(r + i + 2);
        const __m256i nearest = _mm256_max_epu16(_mm256_max_epu16(l1, r1), _mm256_max_epu16(m0, m2));
        const __m256i lo =
            _mm256_max_epu16(nearest, _mm256_max_epu16(_mm256_max_epu16(l0, l2), _mm256_max_epu16(r0, r2)));
        const __m256i stays =
            _mm256_cmpeq_epi16(_mm256_subs_epu16(nearest, _mm256_avg_epu16(m1, lo)), _mm256_setzero_si256());
        const __m256i c = _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(l1, r1), _mm256_xor_si256(m0, m2)), one);
        const __m256i mean = _mm256_avg_epu16(_mm256_sub_epi16(_mm256_avg_epu16(l1, r1), c), _mm256_avg_epu16(m0, m2));
        const __m256i result = _mm256_xor_si256(_mm256_blendv_epi8(mean, m1, stays), complement);
        store16(out + i, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(result)));
        store16(out + i + 8, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(result, 1)));
    }
}

#endif

// Each column of the band is narrowed once into a slot; four slots hold the columns x - 1 ..
// x + 2 in turn, column x + 2 narrowed while x is decided (read back at once, values just
// stored would wait for the stores). A column with a value outside 16 bits is marked, and
// every column next to it goes through ratioTwoColumn.
class SixteenBitBand {
public:
    static constexpr int kSlots = 4;

    // n interior rows, at least the lanes (eight, or sixteen when wide); a slot holds one row
    // more above and below.
    SixteenBitBand(int n, bool wide) : n_(n), wide_(wide), values_(kSlots * std::size_t(n + 2)) {}

    // Narrows the n + 2 values from src on into slot k; false when one lies outside 0 ... 65535.
    bool narrow(int k, const std::int32_t* src) {
#if NUVAK_SIMD_AVX2
        if (wide_) return narrowSixteen(src, slot(k), n_ + 2);
#endif
        return narrowEight(src, slot(k), n_ + 2);
    }

    // Column x from the slots kl, km and kr of x - 1, x and x + 1, into out.
    void decide(int kl, int km, int kr, std::int32_t* out) const {
#if NUVAK_SIMD_AVX2
        if (wide_) return decideSixteen(slot(kl), slot(km), slot(kr), out, n_);
#endif
        decideEight(slot(kl), slot(km), slot(kr), out, n_);
    }

private:
    std::int16_t* slot(int k) { return values_.data() + std::size_t(k) * (n_ + 2); }
    const std::int16_t* slot(int k) const { return values_.data() + std::size_t(k) * (n_ + 2); }

    int n_;
    [[maybe_unused]] bool wide_;  // sixteen lanes (unused where the build has no AVX2)
    std::vector<std::int16_t> values_;
};
#endif

// Ratio 2 over n interior rows of columns 1 .. w - 2; column x reads p[x - 1 .. x + 1] from
// row from - 1 and writes c[x] from row to. edges(x) is called beside each column, while its
// memory is at hand.
template <class Edges>
void ratioTwoRows(int w, const IntArray2D& p, int from, IntArray2D& c, int to, int n, Edges edges) {
    const auto column = [&](int x) { return Columns{p[x - 1] + from, p[x] + from, p[x + 1] + from, c[x] + to, n}; };
    int x = 1;
#if NUVAK_SIMD_SSE2
    // Bands of eight to fifteen rows take eight lanes on either vector path.
    std::optional<SixteenBitBand> band;
    if (simd::Use(simd::Path::Sse2) && n >= 8 && w >= 3) {
        try {
            band.emplace(n, simd::Use(simd::Path::Avx2) && n >= 16);
        } catch (const std::bad_alloc&) {
        }
    }
    if (band) {
        constexpr int kSlots = SixteenBitBand::kSlots;
        bool fits[kSlots] = {};
        const auto narrow = [&](int k) { fits[k % kSlots] = band->narrow(k % kSlots, p[k] + from - 1); };
        narrow(0);
        narrow(1);
        for (; x + 1 < w; ++x) {
            if (x + 2 < w) narrow(x + 2);
            const int kl = (x - 1) % kSlots, km = x % kSlots, kr = (x + 1) % kSlots;
            if (fits[kl] && fits[km] && fits[kr]) {
                band->decide(kl, km, kr, c[x] + to);
            } else {
                ratioTwoColumn(column(x));
            }
            edges(x);
        }
    }
#endif
    for (; x + 1 < w; ++x) {
        ratioTwoColumn(column(x));
        edges(x);
    }
}

}  // namespace

void RemoveHotPixelsRows(double ratio, int w, int h, const IntArray2D& p, IntArray2D& c, int y0, int y1, int pRow0,
                         int cRow0) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, h);
    if (y0 >= y1 || w <= 0) return;
    const int shift = -pRow0;   // row y of the image is row y + shift of p
    const int cShift = -cRow0;  // and row y + cShift of c
    const std::size_t rows = std::size_t(y1 - y0);
    // Border columns and rows keep their values.
    for (int x : {0, w - 1}) std::memcpy(c[x] + y0 + cShift, p[x] + y0 + shift, rows * sizeof(std::int32_t));
    const int first = std::max(y0, 1), last = std::min(y1, h - 1);  // interior rows of the band
    const auto edges = [&](int x) {
        if (y0 < first) c[x][y0 + cShift] = p[x][y0 + shift];
        if (last < y1) c[x][y1 - 1 + cShift] = p[x][y1 - 1 + shift];
    };
    if (first >= last) {
        for (int x = 1; x + 1 < w; ++x) edges(x);
    } else if (ratio == 2.0) {
        ratioTwoRows(w, p, first + shift, c, first + cShift, last - first, edges);
    } else {
        for (int x = 1; x + 1 < w; ++x) {
            plainColumn(ratio, {p[x - 1] + first + shift, p[x] + first + shift, p[x + 1] + first + shift,
                                c[x] + first + cShift, last - first});
            edges(x);
        }
    }
}

int RemoveHotPixels(double ratio, int w, int h, IntArray2D& c) {
    if (w < 3 || h < 3) return 0;
    IntArray2D p;
    try {
        p = IntArray2D(w, h);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int x = 0; x < w; ++x) std::memcpy(p[x], c[x], std::size_t(h) * sizeof(std::int32_t));
    RemoveHotPixelsRows(ratio, w, h, p, c, 0, h);
    return 0;
}

}  // namespace nuvak
