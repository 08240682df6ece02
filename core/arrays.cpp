#include "core/arrays.h"

#include <cmath>
#include <limits>
#include <new>
#include <ostream>

namespace nuvak {

int AllocIntArray2D(int w, int h, IntArray2D& out, std::ostream* diag) {
    try {
        out = IntArray2D(w, h);
        return 0;
    } catch (const std::bad_alloc&) {
        if (diag) *diag << "Alloc Error  !!\n";
        out.reset();
        return 1;
    }
}

int FreeIntArray2D(int, int, IntArray2D& a) {
    a.reset();
    return 0;
}

int AllocDoubleArray2D(int w, int h, DoubleArray2D& out) {
    try {
        out = DoubleArray2D(w, h);
        return 0;
    } catch (const std::bad_alloc&) {
        out.reset();
        return 1;
    }
}

int FreeDoubleArray2D(int, int, DoubleArray2D& a) {
    a.reset();
    return 0;
}

int ClampArray2D(std::int32_t lo, std::int32_t hi, int w, int h, IntArray2D& a) {
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = a[x];
        for (int y = 0; y < h; ++y) {
            if (col[y] < lo) col[y] = lo;
            if (col[y] >= hi) col[y] = hi;
        }
    }
    return 0;
}

namespace {

// Truncation toward zero that saturates instead of overflowing: a sum of shares can leave
// the 32-bit range only for inputs far outside 16-bit samples.
std::int32_t truncSaturated(double v) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (!(v > lo)) return v != v ? 0 : std::numeric_limits<std::int32_t>::min();
    if (!(v < hi)) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

// Moves every element of a to the position place(i, j) gives, sharing it over the four
// neighbouring elements with bilinear weights; each share is truncated as it is added.
template <class Place>
void splat(int w, int h, IntArray2D& a, Place place) {
    IntArray2D q(w, h);
    for (int i = 0; i < w; ++i) {
        for (int j = 0; j < h; ++j) {
            const double p = a[i][j];
            double u, v;
            place(i, j, u, v);
            const double tu = std::trunc(u), tv = std::trunc(v);
            // Bounds are tested on the truncated values, so u in (-1, 0) still lands on 0.
            if (!(tu >= 0 && tv >= 0 && tu < w - 1 && tv < h - 1)) continue;
            const int xi = static_cast<int>(tu), yi = static_cast<int>(tv);
            const double fx = u - xi, fy = v - yi;
            q[xi][yi] = truncSaturated((1 - fx) * (1 - fy) * p + q[xi][yi]);
            q[xi + 1][yi] = truncSaturated(fx * (1 - fy) * p + q[xi + 1][yi]);
            q[xi][yi + 1] = truncSaturated((1 - fx) * fy * p + q[xi][yi + 1]);
            q[xi + 1][yi + 1] = truncSaturated(fx * fy * p + q[xi + 1][yi + 1]);
        }
    }
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            std::int32_t v = q[x][y];
            if (v < 0) v = 0;
            if (v > 65535) v = 65535;
            a[x][y] = v;
        }
    }
}

}  // namespace

int RotateArray2D(double theta, int w, int h, IntArray2D& a) {
    const double cx = w * 0.5, cy = h * 0.5;
    const double c = std::cos(theta), s = std::sin(theta);
    splat(w, h, a, [&](int i, int j, double& u, double& v) {
        u = c * (i - cx) + s * (j - cy) + cx;
        v = c * (j - cy) - s * (i - cx) + cy;
    });
    return 0;
}

int ScaleArray2D(double k, int w, int h, IntArray2D& a) {
    const double cx = w * 0.5, cy = h * 0.5;
    splat(w, h, a, [&](int i, int j, double& u, double& v) {
        u = (i - cx) * k + cx;
        v = k * (j - cy) + cy;
    });
    return 0;
}

}  // namespace nuvak
