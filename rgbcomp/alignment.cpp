#include "rgbcomp/alignment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

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

// The largest magnitude in a; splatting stays exact in 32 bits while every cell's shares,
// at most `sources` whole values, cannot leave that range.
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

}  // namespace


void ScaleFrame(double k, int w, int h, IntArray2D& a, IntArray2D* q) {
    if (k != 1.0) {
        // A cell receives from the sources within one pixel of it: at most (2 / k + 2)^2.
        if (!q || !(k > 0.25) || !SharesFit(w, h, a, (2 / k + 2) * (2 / k + 2))) {
            ScaleArray2D(k, w, h, a);
            return;
        }
        const double cx = w * 0.5, cy = h * 0.5;
        std::vector<double> us(static_cast<std::size_t>(w)), vs(static_cast<std::size_t>(h));
        for (int i = 0; i < w; ++i) us[std::size_t(i)] = (i - cx) * k + cx;
        for (int j = 0; j < h; ++j) vs[std::size_t(j)] = k * (j - cy) + cy;
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
    if (!q || !(bounded || SharesFit(w, h, a, 16))) {
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
    SplatInto(w, h, a, *q, [&](int i, int j, double& u, double& v) {
        u = ci[std::size_t(i)] + sj[std::size_t(j)] + cx;
        v = cj[std::size_t(j)] - si[std::size_t(i)] + cy;
    });
}

}  // namespace detail

}  // namespace nuvak
