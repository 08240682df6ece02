#include "rgbcomp/hotpixels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
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

#if defined(__SSE2__) || defined(_M_X64)
// Ratio 2 on samples of 0 ... 65535, the values of converted frames, in eight 16-bit lanes:
// the same decisions and means as ratioTwoColumn. The lanes hold v - 32768 as signed values,
// whose order is that of v, for the signed minimum SSE2 has.
//
// Decision: hot <=> d > 2e + 1 <=> m + lo > 2 nearest + 1 <=> floor((m + lo) / 2) > nearest,
// where the half of two offset values, (a & b) + ((a ^ b) >> 1), cannot overflow and is the
// half of the two v less 32768.
// Mean: with x = floor((l + r) / 2), y = floor((u + d) / 2) and c = 1 where both pair sums are
// odd, the sum is 2x + 2y + (0, 1 or 2), so floor(sum / 4) = floor((x + y + c) / 2); no value
// is negative, so that is the truncation. SSE2's unsigned average rounds up, so it is taken of
// complements 65535 - v: avg(65535 - a, 65535 - b) = 65535 - floor((a + b) / 2), and
// 65535 - mean = avg(65535 - x - c, 65535 - y) (c = 1 needs l + r odd, so x < 65535).
//
// Each column of the band is narrowed once into a slot; four slots hold the columns x - 1 ..
// x + 2 in turn, column x + 2 narrowed while x is decided (read back at once, values just
// stored would wait for the stores). A column with a value outside 16 bits is marked, and
// every column next to it goes through ratioTwoColumn.
class SixteenBitBand {
public:
    static constexpr int kSlots = 4;

    // n interior rows, at least eight; a slot holds one row more above and below.
    explicit SixteenBitBand(int n) : n_(n), values_(kSlots * std::size_t(n + 2)) {}

    // Narrows the n + 2 values from src on into slot k; false when one lies outside 0 ... 65535.
    bool narrow(int k, const std::int32_t* src) {
        std::int16_t* v = slot(k);
        const __m128i half = _mm_set1_epi32(32768);
        __m128i any = _mm_setzero_si128();
        const auto step = [&](int i) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4));
            any = _mm_or_si128(any, _mm_or_si128(a, b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i),
                             _mm_packs_epi32(_mm_sub_epi32(a, half), _mm_sub_epi32(b, half)));
        };
        eightAtATime(n_ + 2, step);
        return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(any, 16), _mm_setzero_si128())) == 0xFFFF;
    }

    // Column x from the slots kl, km and kr of x - 1, x and x + 1, into out.
    void decide(int kl, int km, int kr, std::int32_t* out) const {
        const std::int16_t *l = slot(kl), *m = slot(km), *r = slot(kr);
        const __m128i one = _mm_set1_epi16(1), flip = _mm_set1_epi16(-32768), complement = _mm_set1_epi16(0x7FFF);
        const __m128i zero = _mm_setzero_si128();
        const auto step = [&](int i) {
            const __m128i l0 = load(l + i), l1 = load(l + i + 1), l2 = load(l + i + 2);
            const __m128i m0 = load(m + i), m1 = load(m + i + 1), m2 = load(m + i + 2);
            const __m128i r0 = load(r + i), r1 = load(r + i + 1), r2 = load(r + i + 2);
            const __m128i nearest = _mm_min_epi16(_mm_min_epi16(l1, r1), _mm_min_epi16(m0, m2));
            // Without the centre lo differs only where the centre is the smallest of the nine,
            // and there neither lo makes it hot (floor((m + lo) / 2) < nearest).
            const __m128i lo = _mm_min_epi16(nearest, _mm_min_epi16(_mm_min_epi16(l0, l2), _mm_min_epi16(r0, r2)));
            const __m128i hot = _mm_cmpgt_epi16(halfSum(m1, lo, _mm_xor_si128(m1, lo)), nearest);
            const __m128i x = _mm_avg_epu16(_mm_xor_si128(l1, complement), _mm_xor_si128(r1, complement));
            const __m128i y = _mm_avg_epu16(_mm_xor_si128(m0, complement), _mm_xor_si128(m2, complement));
            const __m128i c = _mm_and_si128(_mm_and_si128(_mm_xor_si128(l1, r1), _mm_xor_si128(m0, m2)), one);
            const __m128i mean = _mm_xor_si128(_mm_avg_epu16(_mm_sub_epi16(x, c), y), complement);
            const __m128i result =
                _mm_xor_si128(_mm_or_si128(_mm_and_si128(hot, mean), _mm_andnot_si128(hot, m1)), flip);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi16(result, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi16(result, zero));
        };
        eightAtATime(n_, step);
    }

private:
    static __m128i load(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    // floor((a + b) / 2), given a ^ b.
    static __m128i halfSum(__m128i a, __m128i b, __m128i aXorB) {
        return _mm_add_epi16(_mm_and_si128(a, b), _mm_srai_epi16(aXorB, 1));
    }
    // step(i) for i = 0, 8, ... and, when count is not a multiple of eight, count - 8 (the
    // last eight overlap the ones before).
    template <class Step>
    static void eightAtATime(int count, Step step) {
        int i = 0;
        for (; i + 8 <= count; i += 8) step(i);
        if (i < count) step(count - 8);
    }

    std::int16_t* slot(int k) { return values_.data() + std::size_t(k) * (n_ + 2); }
    const std::int16_t* slot(int k) const { return values_.data() + std::size_t(k) * (n_ + 2); }

    int n_;
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
#if defined(__SSE2__) || defined(_M_X64)
    std::optional<SixteenBitBand> band;
    if (n >= 8 && w >= 3) {
        try {
            band.emplace(n);
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

void RemoveHotPixelsRows(double ratio, int w, int h, const IntArray2D& p, IntArray2D& c, int y0, int y1, int pRow0) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, h);
    if (y0 >= y1 || w <= 0) return;
    const int shift = -pRow0;  // row y of the image is row y + shift of p
    const std::size_t rows = std::size_t(y1 - y0);
    // Border columns and rows keep their values.
    for (int x : {0, w - 1}) std::memcpy(c[x] + y0, p[x] + y0 + shift, rows * sizeof(std::int32_t));
    const int first = std::max(y0, 1), last = std::min(y1, h - 1);  // interior rows of the band
    const auto edges = [&](int x) {
        if (y0 < first) c[x][y0] = p[x][y0 + shift];
        if (last < y1) c[x][y1 - 1] = p[x][y1 - 1 + shift];
    };
    if (first >= last) {
        for (int x = 1; x + 1 < w; ++x) edges(x);
    } else if (ratio == 2.0) {
        ratioTwoRows(w, p, first + shift, c, first, last - first, edges);
    } else {
        for (int x = 1; x + 1 < w; ++x) {
            plainColumn(ratio, {p[x - 1] + first + shift, p[x] + first + shift, p[x + 1] + first + shift, c[x] + first,
                                last - first});
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
