#include "rgbcomp/alignment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "core/simd.h"

#if NUVAK_SIMD_AVX2
#include <immintrin.h>
#endif

namespace nuvak {

int FindStar(int w, int h, int x, int y, int delta, int& px, int& py, double& cx, double& cy, const IntArray2D& c) {
    // Peak: strictly greater, so of equal maxima the first in column-then-row order wins.
    const int x0 = std::max(x - delta, 0), x1 = std::min(x + delta, w - 1);
    const int y0 = std::max(y - delta, 0), y1 = std::min(y + delta, h - 1);
    std::int32_t best = 0;
    int bx = -1, by = -1;
    for (int i = x0; i <= x1; ++i) {
        const std::int32_t* col = c[i];
        for (int j = y0; j <= y1; ++j)
            if (col[j] > best) {
                best = col[j];
                bx = i;
                by = j;
            }
    }
    if (bx < 0) return kStarNoPeak;
    px = bx;
    py = by;

    // Centroid of the 7 x 7 block around the peak, inside the frame.
    double s = 0, sx = 0, sy = 0;
    for (int i = std::max(bx - 3, 0); i <= std::min(bx + 3, w - 1); ++i) {
        const std::int32_t* col = c[i];
        for (int j = std::max(by - 3, 0); j <= std::min(by + 3, h - 1); ++j) {
            s += col[j];
            sx += double(std::int64_t(i) * col[j]);
            sy += double(std::int64_t(j) * col[j]);
        }
    }
    if (s == 0) return kStarNoCentroid;
    cx = sx / s;
    cy = sy / s;
    return kStarFound;
}

void ClampCoordinates(int w, int h, RGBCompositeSetup& s) {
    s.x1 = std::max(s.x1, s.delta1);
    s.y1 = std::max(s.y1, s.delta1);
    s.x2 = std::max(s.x2, s.delta2);
    s.y2 = std::max(s.y2, s.delta2);
    s.bx = std::max(s.bx, s.bgl);
    s.by = std::max(s.by, s.bgl);
    s.x1 = std::min(s.x1, w - s.delta1 - 1);
    s.y1 = std::min(s.y1, h - s.delta1 - 1);
    s.x2 = std::min(s.x2, w - s.delta2 - 1);
    s.y2 = std::min(s.y2, h - s.delta2 - 1);
    s.bx = std::min(s.bx, w - s.bgl - 1);
    s.by = std::min(s.by, h - s.bgl - 1);
}

namespace {

struct Star {
    int px = 0, py = 0;
    double cx = 0, cy = 0;
};

Star Search(int w, int h, int x, int y, int delta, int number, const IntArray2D& frame) {
    Star s{x, y, 0, 0};
    switch (FindStar(w, h, x, y, delta, s.px, s.py, s.cx, s.cy, frame)) {
        case kStarNoPeak: throw AlignmentFault{AlignmentFault::NoPeak, number};
        case kStarNoCentroid: throw AlignmentFault{AlignmentFault::NoCentroid, number};
        default: return s;
    }
}

double Distance(const Star& a, const Star& b) {
    if (a.cx == b.cx && a.cy == b.cy) throw AlignmentFault{AlignmentFault::SameCentroid, 0};
    return std::sqrt((a.cx - b.cx) * (a.cx - b.cx) + (a.cy - b.cy) * (a.cy - b.cy));
}

double Angle(const Star& a, const Star& b) {
    if (a.cx == b.cx) throw AlignmentFault{AlignmentFault::SameX, 0};
    return std::atan((a.cy - b.cy) / (a.cx - b.cx));
}

}  // namespace

std::string AlignmentFault::describe(Kind k, int s) {
    switch (k) {
        case NoPeak: return "star " + std::to_string(s) + ": no peak in its search window";
        case NoCentroid: return "star " + std::to_string(s) + ": no centroid in its search window";
        case SameX: return "both stars at the same x";
        case SameCentroid: return "both stars at the same centroid";
    }
    return "alignment fault";
}

StarPair MeasureStarPair(int w, int h, const RGBCompositeSetup& setup, const IntArray2D& frame) {
    const Star s1 = Search(w, h, setup.x1, setup.y1, setup.delta1, 1, frame);
    const Star s2 = Search(w, h, setup.x2, setup.y2, setup.delta2, 2, frame);
    const double d = Distance(s1, s2);
    return {d, Angle(s1, s2)};
}

FrameShift AlignFrame(int w, int h, const RGBCompositeSetup& setup, const StarPair& reference, IntArray2D& frame,
                      IntArray2D* scratch) {
    if (setup.starMode != kOneStar && setup.starMode != kTwoStars) return {};
    Star s1 = Search(w, h, setup.x1, setup.y1, setup.delta1, 1, frame);
    int f = 0, e = 0;
    if (setup.starMode == kTwoStars) {
        const Star s2 = Search(w, h, setup.x2, setup.y2, setup.delta2, 2, frame);
        detail::ScaleFrame(reference.distance / Distance(s1, s2), w, h, frame, scratch);
        // Star 1 again on the scaled frame; star 2 keeps its centroid from before the scaling.
        s1 = Search(w, h, setup.x1, setup.y1, setup.delta1, 1, frame);
        const double a = Angle(s1, s2) - reference.angle;
        if (a != 0) detail::RotateFrame(a, w, h, frame, scratch, true);
        // Where the star-1 peak lies after the rotation about (w / 2, h / 2).
        const int hw = w / 2, hh = h / 2;
        const double c = std::cos(a), s = std::sin(a);
        const int rx = static_cast<int>(std::trunc(c * (s1.px - hw) + s * (s1.py - hh)));
        const int ry = static_cast<int>(std::trunc(-s * (s1.px - hw) + c * (s1.py - hh)));
        f = rx - (s1.px - hw);
        e = ry - (s1.py - hh);
    }
    return {s1.px + f - setup.x1, s1.py + e - setup.y1};
}

namespace detail {

namespace {

// Whether the splatting of a stays exact in 32 bits: every cell's shares, at most `sources`
// whole values of the largest magnitude in a, cannot leave that range.
bool SharesFit(int w, int h, const IntArray2D& a, double sources) {
    std::int64_t top = 0;
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = a[x];
        std::int32_t lo = 0, hi = 0;
        for (int y = 0; y < h; ++y) {
            lo = std::min(lo, col[y]);
            hi = std::max(hi, col[y]);
        }
        top = std::max({top, -std::int64_t(lo), std::int64_t(hi)});
    }
    return double(top) * sources < 2147483647.0;
}

// Adds one share to a cell, truncated as it is added.
inline void Deposit(std::int32_t& cell, double share) { cell = static_cast<std::int32_t>(share + cell); }

// The forward bilinear splatting of a into q, source by source (columns outer, rows inner),
// then q clamped to 0 ... 65535 and swapped into a. place(i, j, u, v) gives the position.
template <class Place>
void SplatInto(int w, int h, IntArray2D& a, IntArray2D& q, Place place) {
    std::memset(q.data(), 0, q.size() * sizeof(std::int32_t));
    const double right = w - 1, bottom = h - 1;
    for (int i = 0; i < w; ++i) {
        const std::int32_t* src = a[i];
        for (int j = 0; j < h; ++j) {
            double u, v;
            place(i, j, u, v);
            // trunc(u) >= 0 and trunc(u) < w - 1 exactly when -1 < u < w - 1.
            if (!(u > -1 && v > -1 && u < right && v < bottom)) continue;
            const int xi = static_cast<int>(u), yi = static_cast<int>(v);
            const double fx = u - xi, fy = v - yi, p = src[j];
            std::int32_t* q0 = q[xi] + yi;
            std::int32_t* q1 = q[xi + 1] + yi;
            Deposit(q0[0], (1 - fx) * (1 - fy) * p);
            Deposit(q1[0], fx * (1 - fy) * p);
            Deposit(q0[1], (1 - fx) * fy * p);
            Deposit(q1[1], fx * fy * p);
        }
    }
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = q[x];
        for (int y = 0; y < h; ++y) col[y] = std::clamp(col[y], 0, 65535);
    }
    std::swap(a, q);
}

// The same splatting with the shares added as whole numbers, in any order.
//
// A deposit makes a cell c (a whole number) trunc(s + c), the sum rounded to a double. Where
// s >= 0, c >= 0 and s + c < 2^e, that is c + trunc(s) unless the fraction of s lies within
// 2^(e - 53) of 1: the double n + 1 - 2^(e - 53) lies between s + c and the next whole number
// n + 1, so the rounded sum stays below n + 1. Such deposits commute, and the shares can be
// worked out for many sources at once and added column piece by column piece.
//
// Cells of a column or row below 2 ("border" cells) may receive negative shares (from
// positions in -1 ... 0, whose weights leave 0 ... 1); they take their deposits one by one as
// SplatInto does, in the same order. Every other cell receives shares of weights within 0 ... 1
// only. The largest fraction of those shares and the range of the sources are tallied, and
// the result stands only when the sources lie within 0 ... top with top * sources in 32 bits
// and every fraction below the limit for that top; else (rarely: a share within about 2^-30
// of a whole number, or sources out of range) SplatInto does the frame again.
struct Tally {
    double frac = 0;              // the largest fraction of a share added whole
    std::int32_t lo = 0, hi = 0;  // the range of the sources
    bool bad = false;             // a source out of range, or not where it was taken to be
    // Sources above this are not splatted here: every sum then stays far inside 32 bits.
    static constexpr std::int32_t kTop = 1 << 22;
    bool take(std::int32_t p) {
        lo = std::min(lo, p);
        hi = std::max(hi, p);
        bad |= p < 0 || p > kTop;
        return !bad;
    }
    void add(std::int32_t& cell, double share) {
        const std::int32_t whole = static_cast<std::int32_t>(share);
        frac = std::max(frac, share - whole);
        cell = static_cast<std::int32_t>(static_cast<std::uint32_t>(cell) + static_cast<std::uint32_t>(whole));
    }
};

// One source column's truncated shares, target column xi and target row offset dy = yi - j
// per source row j (the portable lanes).
struct ColumnWork {
    explicit ColumnWork(int h)
        : t0(std::size_t(h)),
          t1(std::size_t(h)),
          t2(std::size_t(h)),
          t3(std::size_t(h)),
          xi(std::size_t(h)),
          dy(std::size_t(h)) {}
    std::vector<std::int32_t> t0, t1, t2, t3, xi, dy;
};

// The positions of one source column: u = (ua + ub[j]) + uc and v = (vb[j] + va) + vc, the
// sums in that order; with -0 for a missing term each sum gives its other terms exactly.
// Both are monotonic in j (sums and products of a constant and a monotonic term, each
// rounded), so the interior sources of a column are consecutive.
struct ColumnPlace {
    double ua, uc;
    const double* ub;
    double va, vc;
    const double* vb;
    double u(int j) const { return ua + ub[j] + uc; }
    double v(int j) const { return vb[j] + va + vc; }
};

// Where positions must lie: below right and bottom (and above -1); interior, both target
// columns and rows from 2 on.
struct Bounds {
    double right, bottom;
    bool interior(double u, double v) const { return u >= 2 && v >= 2 && u < right && v < bottom; }
    bool inside(double u, double v) const { return u > -1 && v > -1 && u < right && v < bottom; }
};

// The four shares of source value p at fractions fx, fy, as SplatInto forms them.
struct Shares {
    double s[4];
    Shares(double fx, double fy, double p)
        : s{(1 - fx) * (1 - fy) * p, fx * (1 - fy) * p, (1 - fx) * fy * p, fx * fy * p} {}
};

// A source whose shares reach a border cell: those deposits one by one as SplatInto makes
// them, the others added whole.
void DepositBorderSource(double u, double v, std::int32_t p, IntArray2D& q, Tally& t) {
    if (!t.take(p)) return;
    const int xi = static_cast<int>(u), yi = static_cast<int>(v);
    const Shares sh(u - xi, v - yi, p);
    for (int k = 0; k < 4; ++k) {
        const int x = xi + (k & 1), y = yi + (k >> 1);
        if (x < 2 || y < 2) {
            Deposit(q[x][y], sh.s[k]);
        } else {
            t.add(q[x][y], sh.s[k]);
        }
    }
}

// An interior source added whole straight into q.
void DepositInteriorSource(const Bounds& b, double u, double v, std::int32_t p, IntArray2D& q, Tally& t) {
    if (!b.interior(u, v)) t.bad = true;
    if (!t.take(p)) return;
    const int xi = static_cast<int>(u), yi = static_cast<int>(v);
    const Shares sh(u - xi, v - yi, p);
    for (int k = 0; k < 4; ++k) t.add(q[xi + (k & 1)][yi + (k >> 1)], sh.s[k]);
}

// The shares of the sources start .. start + n - 1, which land on the rows r .. r + n - 1
// (top) and r + 1 .. r + n (bottom) of the columns qa and qb.
void AddRun(std::int32_t* __restrict qa, std::int32_t* __restrict qb, const ColumnWork& o, int start, int n) {
    const std::int32_t* __restrict t0 = o.t0.data() + start;
    const std::int32_t* __restrict t1 = o.t1.data() + start;
    const std::int32_t* __restrict t2 = o.t2.data() + start;
    const std::int32_t* __restrict t3 = o.t3.data() + start;
    qa[0] += t0[0];
    qb[0] += t1[0];
    for (int m = 1; m < n; ++m) {
        qa[m] += t0[m] + t2[m - 1];
        qb[m] += t1[m] + t3[m - 1];
    }
    qa[n] += t2[n - 1];
    qb[n] += t3[n - 1];
}

// Portable lanes: the interior sources j0 .. j1 - 1 of a column, their whole shares into o,
// then added run by run.
void DepositInteriorPlain(const Bounds& b, const ColumnPlace& at, const std::int32_t* src, int j0, int j1,
                          ColumnWork& o, IntArray2D& q, Tally& t) {
    for (int j = j0; j < j1; ++j) {
        const double u = at.u(j), v = at.v(j);
        if (!b.interior(u, v)) t.bad = true;
        if (!t.take(src[j])) return;
        const int xi = static_cast<int>(u), yi = static_cast<int>(v);
        const std::size_t n = std::size_t(j);
        o.xi[n] = xi;
        o.dy[n] = yi - j;
        const Shares sh(u - xi, v - yi, src[j]);
        std::int32_t* out[4] = {&o.t0[n], &o.t1[n], &o.t2[n], &o.t3[n]};
        for (int k = 0; k < 4; ++k) {
            *out[k] = 0;
            t.add(*out[k], sh.s[k]);
        }
    }
    for (int j = j0; j < j1;) {
        const int start = j, x = o.xi[std::size_t(j)], d = o.dy[std::size_t(j)];
        do ++j;
        while (j < j1 && o.xi[std::size_t(j)] == x && o.dy[std::size_t(j)] == d);
        AddRun(q[x] + start + d, q[x + 1] + start + d, o, start, j - start);
    }
}

// The rows of a scaling: every source column has the same target rows and row fractions.
struct ScaledRows {
    struct Run {
        int start, n, d;  // sources start .. start + n - 1 on the target rows start + d ...
    };
    std::vector<double> fy;   // the row fractions
    std::vector<int> border;  // sources whose shares reach a border row
    std::vector<Run> runs;    // interior sources with target rows one apart
};

ScaledRows MakeScaledRows(const double* vs, int h) {
    ScaledRows r;
    r.fy.assign(std::size_t(h), 0.0);
    const double bottom = h - 1;
    for (int j = 0; j < h; ++j) {
        const double v = vs[j];
        if (!(v > -1 && v < bottom)) continue;
        const int yi = static_cast<int>(v);
        if (yi < 2) {
            r.border.push_back(j);
            continue;
        }
        r.fy[std::size_t(j)] = v - yi;
        if (!r.runs.empty() && r.runs.back().start + r.runs.back().n == j && r.runs.back().d == yi - j)
            ++r.runs.back().n;
        else r.runs.push_back({j, 1, yi - j});
    }
    return r;
}

// Portable lanes: a scaled source column of target column xi >= 2 and fraction fx.
void DepositScaledPlain(double fx, const ScaledRows& r, const std::int32_t* src, std::int32_t* qa, std::int32_t* qb,
                        Tally& t) {
    for (const ScaledRows::Run& run : r.runs)
        for (int j = run.start; j < run.start + run.n; ++j) {
            if (!t.take(src[j])) return;
            const Shares sh(fx, r.fy[std::size_t(j)], src[j]);
            std::int32_t* cell[4] = {qa + j + run.d, qb + j + run.d, qa + j + run.d + 1, qb + j + run.d + 1};
            for (int k = 0; k < 4; ++k) t.add(*cell[k], sh.s[k]);
        }
}

#if NUVAK_SIMD_AVX2
// Four sources at a time, compiled for AVX2 whatever the build targets and run only where
// the processor has it: lane by lane the operations of Shares and Tally::add.

// The lanes' tally: the largest fraction, the source range.
struct WideTally {
    __m256d frac;
    __m128i lo, hi;
};

NUVAK_TARGET_AVX2 inline WideTally StartTally() {
    return {_mm256_setzero_pd(), _mm_setzero_si128(), _mm_setzero_si128()};
}

NUVAK_TARGET_AVX2 inline void EndTally(const WideTally& w, Tally& t) {
    alignas(32) double f[4];
    alignas(16) std::int32_t lo[4], hi[4];
    _mm256_store_pd(f, w.frac);
    _mm_store_si128(reinterpret_cast<__m128i*>(lo), w.lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(hi), w.hi);
    for (int k = 0; k < 4; ++k) {
        t.frac = std::max(t.frac, f[k]);
        t.lo = std::min(t.lo, lo[k]);
        t.hi = std::max(t.hi, hi[k]);
    }
    t.bad |= t.lo < 0 || t.hi > Tally::kTop;
}

// Four source values as doubles, tallied.
NUVAK_TARGET_AVX2 inline __m256d Sources(const std::int32_t* src, WideTally& w) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    w.lo = _mm_min_epi32(w.lo, p);
    w.hi = _mm_max_epi32(w.hi, p);
    return _mm256_cvtepi32_pd(p);
}

// The shares of four sources at fractions (fx, fy) truncated (whole numbers, as doubles),
// their fractions tallied.
NUVAK_TARGET_AVX2 inline void WholeFour(__m256d fx, __m256d fy, __m256d p, __m256d (&t)[4], WideTally& w) {
    const __m256d one = _mm256_set1_pd(1);
    const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
    const __m256d s[4] = {_mm256_mul_pd(_mm256_mul_pd(gx, gy), p), _mm256_mul_pd(_mm256_mul_pd(fx, gy), p),
                          _mm256_mul_pd(_mm256_mul_pd(gx, fy), p), _mm256_mul_pd(_mm256_mul_pd(fx, fy), p)};
    __m256d f[4];
    for (int k = 0; k < 4; ++k) {
        t[k] = _mm256_round_pd(s[k], _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        f[k] = _mm256_sub_pd(s[k], t[k]);
    }
    w.frac = _mm256_max_pd(w.frac, _mm256_max_pd(_mm256_max_pd(f[0], f[1]), _mm256_max_pd(f[2], f[3])));
}

// Lane 3 of c, then lanes 0 ... 2 of t.
NUVAK_TARGET_AVX2 inline __m256d AfterLast(__m256d c, __m256d t) {
    return _mm256_shuffle_pd(_mm256_permute2f128_pd(c, t, 0x21), t, 0x5);
}

NUVAK_TARGET_AVX2 inline std::int32_t LastLane(__m256d c) {
    return static_cast<std::int32_t>(
        _mm_cvtsd_f64(_mm_unpackhi_pd(_mm256_extractf128_pd(c, 1), _mm256_extractf128_pd(c, 1))));
}

// Adds the whole shares of four consecutive sources on consecutive target rows to the
// columns qa and qb from row 0 of the pointers: the top shares t0, t1 there, the bottom
// shares t2, t3 one row further down. The bottom shares of the last source of the block
// before (c2, c3, lane 3) join; those of this block become the new ones. The sums of two
// whole numbers are exact in doubles, and converted once.
NUVAK_TARGET_AVX2 inline void AddFour(std::int32_t* qa, std::int32_t* qb, const __m256d (&t)[4], __m256d& c2,
                                      __m256d& c3) {
    const __m128i a = _mm256_cvttpd_epi32(_mm256_add_pd(t[0], AfterLast(c2, t[2])));
    const __m128i b = _mm256_cvttpd_epi32(_mm256_add_pd(t[1], AfterLast(c3, t[3])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(qa),
                     _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qa)), a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(qb),
                     _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qb)), b));
    c2 = t[2];
    c3 = t[3];
}

// A scaled source column of target column xi >= 2 and fraction fx, its interior runs added
// straight into q four sources at a time, the last few of a run one by one.
NUVAK_TARGET_AVX2 void DepositScaledWide(double fx, const ScaledRows& r, const std::int32_t* src, std::int32_t* qa,
                                         std::int32_t* qb, Tally& t) {
    const __m256d fx4 = _mm256_set1_pd(fx);
    WideTally w = StartTally();
    for (const ScaledRows::Run& run : r.runs) {
        __m256d c2 = _mm256_setzero_pd(), c3 = _mm256_setzero_pd();
        const int end = run.start + run.n, d = run.d;
        int j = run.start;
        for (; j + 4 <= end; j += 4) {
            __m256d whole[4];
            WholeFour(fx4, _mm256_loadu_pd(r.fy.data() + j), Sources(src + j, w), whole, w);
            AddFour(qa + j + d, qb + j + d, whole, c2, c3);
        }
        qa[j + d] += LastLane(c2);
        qb[j + d] += LastLane(c3);
        for (; j < end; ++j) {
            if (!t.take(src[j])) return;
            const Shares sh(fx, r.fy[std::size_t(j)], src[j]);
            std::int32_t* cell[4] = {qa + j + d, qb + j + d, qa + j + d + 1, qb + j + d + 1};
            for (int k = 0; k < 4; ++k) t.add(*cell[k], sh.s[k]);
        }
    }
    EndTally(w, t);
}

// Interior sources j0 .. j1 - 1 of a column taken as one run on target column x, rows j + d,
// added straight into q four at a time while every source of a block lies there (u in
// x ... x + 1, v in j + d ... j + d + 1: then trunc(u) = x, trunc(v) = j + d, and u - x,
// v - (j + d) are the fractions, exact). Returns the first source not added.
NUVAK_TARGET_AVX2 int DepositRunWide(const ColumnPlace& at, const std::int32_t* src, int j0, int j1, int x, int d,
                                     IntArray2D& q, Tally& t) {
    const __m256d ua = _mm256_set1_pd(at.ua), uc = _mm256_set1_pd(at.uc);
    const __m256d va = _mm256_set1_pd(at.va), vc = _mm256_set1_pd(at.vc);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1), four = _mm256_set1_pd(4);
    const __m256d column = _mm256_set1_pd(x);
    __m256d row = _mm256_add_pd(_mm256_set1_pd(j0 + d), _mm256_setr_pd(0, 1, 2, 3));
    std::int32_t* qa = q[x] + d;
    std::int32_t* qb = q[x + 1] + d;
    __m256d c2 = zero, c3 = zero;
    WideTally w = StartTally();
    int j = j0;
    for (; j + 4 <= j1; j += 4, row = _mm256_add_pd(row, four)) {
        const __m256d u = _mm256_add_pd(_mm256_add_pd(ua, _mm256_loadu_pd(at.ub + j)), uc);
        const __m256d v = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(at.vb + j), va), vc);
        const __m256d fx = _mm256_sub_pd(u, column), fy = _mm256_sub_pd(v, row);
        const __m256d there =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(fx, zero, _CMP_GE_OQ), _mm256_cmp_pd(fx, one, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(fy, zero, _CMP_GE_OQ), _mm256_cmp_pd(fy, one, _CMP_LT_OQ)));
        if (_mm256_movemask_pd(there) != 0xF) break;
        __m256d whole[4];
        WholeFour(fx, fy, Sources(src + j, w), whole, w);
        AddFour(qa + j, qb + j, whole, c2, c3);
    }
    qa[j] += LastLane(c2);
    qb[j] += LastLane(c3);
    EndTally(w, t);
    return j;
}
#endif

bool WideSplat() { return simd::Use(simd::Path::Avx2); }

// A column of q clamped to 0 ... 65535.
[[gnu::always_inline]] inline void ClampBody(std::int32_t* col, int h) {
    for (int y = 0; y < h; ++y) col[y] = std::clamp(col[y], 0, 65535);
}

#if NUVAK_SIMD_AVX2
NUVAK_TARGET_AVX2 void ClampColumnWide(std::int32_t* col, int h) { ClampBody(col, h); }
#endif

void ClampColumn(bool wide, std::int32_t* col, int h) {
#if NUVAK_SIMD_AVX2
    if (wide) return ClampColumnWide(col, h);
#endif
    (void)wide;
    ClampBody(col, h);
}

// The fraction limit for cells whose sums stay below top * sources.
double WholeLimit(double top, double sources) {
    int e = 0;
    std::frexp(std::max(top * sources, 1.0), &e);  // top * sources < 2^e
    return 1 - std::ldexp(1.0, e - 53);
}

// The whole-number splatting of a into q for cells of at most `sources` shares; place(i)
// gives the positions of source column i. rows, when given, are the rows of a scaling (place
// gives u = ua and v = vb[j]): its source columns of target column 2 on take the shares from
// them. False, with q in no defined state, when the result does not stand.
//
// ordered: u grows with i for every j (a scaling, or a turn by less than a right angle either
// way), so that the target columns of a source column lie between those of the columns before
// and after it. q is then zeroed column by column just before a source column can reach it,
// and clamped to 0 ... 65535 once none can any more, while its cells are at hand; else zeroed
// first and clamped last.
template <class Place>
bool SplatWhole(int w, int h, const IntArray2D& a, IntArray2D& q, double sources, bool ordered, Place place,
                const ScaledRows* rows = nullptr) {
    const Bounds b{double(w - 1), double(h - 1)};
    const bool wide = WideSplat();
    ColumnWork o(wide ? 0 : h);
    Tally t;
    int zeroed = ordered ? 0 : w, clamped = 0;  // columns 0 .. zeroed - 1 zeroed, 0 .. clamped - 1 final
    if (!ordered) std::memset(q.data(), 0, q.size() * sizeof(std::int32_t));
    const auto zeroTo = [&](int x) {
        for (; zeroed <= x; ++zeroed) std::memset(q[zeroed], 0, std::size_t(h) * sizeof(std::int32_t));
    };
    const auto clampTo = [&](int x) {
        for (; clamped < x; ++clamped) ClampColumn(wide, q[clamped], h);
    };
    for (int i = 0; i < w && !t.bad; ++i) {
        const std::int32_t* src = a[i];
        const ColumnPlace at = place(i);
        if (ordered) {
            // This column's targets lie in the columns trunc(lo) ... trunc(hi) + 1 (u is monotonic
            // in j), later columns' from trunc(lo) on.
            const double lo = std::min(at.u(0), at.u(h - 1)), hi = std::max(at.u(0), at.u(h - 1));
            zeroTo(hi >= b.right ? w - 1 : hi <= -1 ? 0 : static_cast<int>(hi) + 1);
            clampTo(lo <= 0 ? 0 : lo >= b.right ? w - 1 : static_cast<int>(lo));
        }
        if (rows) {
            const double u = at.ua;
            if (!(u > -1 && u < b.right)) continue;
            const int xi = static_cast<int>(u);
            if (xi >= 2) {
#if NUVAK_SIMD_AVX2
                if (wide) DepositScaledWide(u - xi, *rows, src, q[xi], q[xi + 1], t);
                else
#endif
                    DepositScaledPlain(u - xi, *rows, src, q[xi], q[xi + 1], t);
                for (int j : rows->border) DepositBorderSource(u, at.vb[j], src[j], q, t);
                continue;
            }
        }
        // Interior sources j0 .. j1 - 1; the others before and after them, in order.
        int j0 = 0, j1 = h;
        while (j0 < h && !b.interior(at.u(j0), at.v(j0))) ++j0;
        while (j1 > j0 && !b.interior(at.u(j1 - 1), at.v(j1 - 1))) --j1;
        const auto edge = [&](int from, int to) {
            for (int j = from; j < to; ++j) {
                const double u = at.u(j), v = at.v(j);
                if (b.inside(u, v)) DepositBorderSource(u, v, src[j], q, t);
            }
        };
        edge(0, j0);
#if NUVAK_SIMD_AVX2
        // Runs of sources on one target column with target rows one apart, four sources at a
        // time; the sources of a block where a run ends one by one.
        if (wide) {
            while (j0 < j1 && !t.bad) {
                const int next =
                    DepositRunWide(at, src, j0, j1, static_cast<int>(at.u(j0)), static_cast<int>(at.v(j0)) - j0, q, t);
                if (next == j0) DepositInteriorSource(b, at.u(j0), at.v(j0), src[j0], q, t);
                j0 = std::max(next, j0 + 1);
            }
        } else
#endif
            DepositInteriorPlain(b, at, src, j0, j1, o, q, t);
        edge(j1, h);
    }
    if (t.bad || !(double(t.hi) * sources < 2147483647.0 && t.frac < WholeLimit(t.hi, sources))) return false;
    zeroTo(w - 1);
    clampTo(w);
    return true;
}

}  // namespace

void ScaleFrame(double k, int w, int h, IntArray2D& a, IntArray2D* q) {
    if (k != 1.0) {
        if (!q || !(k > 0.25)) {
            ScaleArray2D(k, w, h, a);
            return;
        }
        // A cell receives from the sources within one pixel of it: at most (2 / k + 2)^2.
        const double sources = (2 / k + 2) * (2 / k + 2);
        const double cx = w * 0.5, cy = h * 0.5;
        std::vector<double> us(static_cast<std::size_t>(w)), vs(static_cast<std::size_t>(h));
        for (int i = 0; i < w; ++i) us[std::size_t(i)] = (i - cx) * k + cx;
        for (int j = 0; j < h; ++j) vs[std::size_t(j)] = k * (j - cy) + cy;
        const std::vector<double> zeros(static_cast<std::size_t>(h), -0.0);
        const ScaledRows rows = MakeScaledRows(vs.data(), h);
        if (w >= 2 && h >= 2 &&
            SplatWhole(
                w, h, a, *q, sources, true,
                [&](int i) { return ColumnPlace{us[std::size_t(i)], -0.0, zeros.data(), -0.0, -0.0, vs.data()}; },
                &rows)) {
            std::swap(a, *q);
            return;
        }
        if (!SharesFit(w, h, a, sources)) {
            ScaleArray2D(k, w, h, a);
            return;
        }
        SplatInto(w, h, a, *q, [&](int i, int j, double& u, double& v) {
            u = us[std::size_t(i)];
            v = vs[std::size_t(j)];
        });
        return;
    }
    for (int x = 0; x + 1 < w; ++x) {
        std::int32_t* col = a[x];
        for (int y = 0; y + 1 < h; ++y) col[y] = std::clamp(col[y], 0, 65535);
        if (h > 0) col[h - 1] = 0;
    }
    if (w > 0 && h > 0) std::memset(a[w - 1], 0, std::size_t(h) * sizeof(std::int32_t));
}

void RotateFrame(double theta, int w, int h, IntArray2D& a, IntArray2D* q, bool bounded) {
    constexpr double kSources = 16;
    if (!q) {
        RotateArray2D(theta, w, h, a);
        return;
    }
    const double cx = w * 0.5, cy = h * 0.5;
    const double c = std::cos(theta), s = std::sin(theta);
    // u = c (i - cx) + s (j - cy) + cx and v = c (j - cy) - s (i - cx) + cy, each product
    // formed once per column or row, the sums in the same order.
    const std::size_t nw = static_cast<std::size_t>(w), nh = static_cast<std::size_t>(h);
    std::vector<double> ci(nw), si(nw), sj(nh), cj(nh);
    for (int i = 0; i < w; ++i) {
        ci[std::size_t(i)] = c * (i - cx);
        si[std::size_t(i)] = s * (i - cx);
    }
    for (int j = 0; j < h; ++j) {
        sj[std::size_t(j)] = s * (j - cy);
        cj[std::size_t(j)] = c * (j - cy);
    }
    if (w >= 2 && h >= 2 && SplatWhole(w, h, a, *q, kSources, c > 0, [&](int i) {
            return ColumnPlace{ci[std::size_t(i)], cx, sj.data(), -si[std::size_t(i)], cy, cj.data()};
        })) {
        std::swap(a, *q);
        return;
    }
    if (!(bounded || SharesFit(w, h, a, kSources))) {
        RotateArray2D(theta, w, h, a);
        return;
    }
    SplatInto(w, h, a, *q, [&](int i, int j, double& u, double& v) {
        u = ci[std::size_t(i)] + sj[std::size_t(j)] + cx;
        v = cj[std::size_t(j)] - si[std::size_t(i)] + cy;
    });
}

}  // namespace detail

}  // namespace nuvak
