#pragma once
// Two-dimensional numeric image arrays indexed [x][y] (column, then row; row 0 at the top),
// and the routines that allocate, clamp, rotate and scale them.
//
// The elements live in one zero-filled block, column after column, so a[x] is the column
// pointer and a[x][y] the element, as the numeric commands address them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iosfwd>
#include <memory>

#include "core/raster.h"

namespace nuvak {

template <class T>
class Array2D {
public:
    Array2D() = default;

    // Zero-filled W x H array. Throws std::bad_alloc when the memory is not there.
    Array2D(int w, int h) : w_(w), h_(h) {
        if (w < 0 || h < 0) throw std::bad_alloc();
        const std::size_t n = std::size_t(w) * std::size_t(h);
        if (n == 0) return;
        // calloc hands large blocks over as untouched zero pages: no time spent filling. Large
        // arrays are offered large pages as rasters are, so first touching them costs few faults.
        void* p = std::calloc(n, sizeof(T));
        if (!p) throw std::bad_alloc();
        AdviseLargeRasterBlock(p, n * sizeof(T));
        data_.reset(static_cast<T*>(p));
    }

    int width() const { return w_; }
    int height() const { return h_; }
    bool empty() const { return !data_; }
    std::size_t size() const { return std::size_t(w_) * std::size_t(h_); }

    T* operator[](int x) { return data_.get() + std::size_t(x) * std::size_t(h_); }
    const T* operator[](int x) const { return data_.get() + std::size_t(x) * std::size_t(h_); }
    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }

    void reset() {
        data_.reset();
        w_ = h_ = 0;
    }

private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };
    int w_ = 0;
    int h_ = 0;
    std::unique_ptr<T[], Free> data_;
};

using IntArray2D = Array2D<std::int32_t>;
using DoubleArray2D = Array2D<double>;

// 0 on success with every element 0, 1 on failure. A failed integer allocation writes
// "Alloc Error  !!\n" to diag (when given).
int AllocIntArray2D(int w, int h, IntArray2D& out, std::ostream* diag = nullptr);
int FreeIntArray2D(int w, int h, IntArray2D& a);
int AllocDoubleArray2D(int w, int h, DoubleArray2D& out);
int FreeDoubleArray2D(int w, int h, DoubleArray2D& a);

// Every element below lo becomes lo, then every element at or above hi becomes hi.
int ClampArray2D(std::int32_t lo, std::int32_t hi, int w, int h, IntArray2D& a);

// Rotation by theta (radians) about the centre, forward splatting with bilinear weights;
// each share is truncated as it is added and the result is clamped to 0 ... 65535.
int RotateArray2D(double theta, int w, int h, IntArray2D& a);

// Scaling by k about the centre, with the same splatting as the rotation.
int ScaleArray2D(double k, int w, int h, IntArray2D& a);

}  // namespace nuvak
