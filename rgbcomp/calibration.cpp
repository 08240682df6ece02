#include "rgbcomp/calibration.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "core/fits.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// Truncation towards zero, saturated to 32 bits so that no value is out of range.
inline std::int32_t TruncInt(double v) {
    v = std::clamp(v, double(std::numeric_limits<std::int32_t>::min()), double(std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(v);
}

// The pass of CalibrateFrame for one combination of steps, so that the inner loop has no tests.
template <bool Dark, bool Flat, bool Turn>
void CalibratePass(const IntArray2D* dark, const DoubleArray2D* levels, int w, int h, const IntArray2D& frame,
                   IntArray2D& out) {
    for (int x = 0; x < w; ++x) {
        const std::int32_t* src = frame[x];
        const std::int32_t* d = Dark ? (*dark)[x] : nullptr;
        const double* l = Flat ? (*levels)[x] : nullptr;
        std::int32_t* dst = Turn ? out[w - 1 - x] + (h - 1) : out[x];
        for (int y = 0; y < h; ++y) {
            std::int32_t v = src[y];
            if constexpr (Dark) v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - static_cast<std::uint32_t>(d[y]));
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
}

template <bool Dark, bool Flat>
void CalibrateWith(const IntArray2D* dark, const DoubleArray2D* levels, bool turn, int w, int h, IntArray2D& frame,
                   IntArray2D& spare) {
    if (turn) {
        CalibratePass<Dark, Flat, true>(dark, levels, w, h, frame, spare);
        std::swap(frame, spare);
    } else {
        CalibratePass<Dark, Flat, false>(dark, levels, w, h, frame, frame);
    }
}

}  // namespace

FrameSize ReadCompositeFrame(const std::string& path, int w, int h, IntArray2D& p) {
    FileSource source(path);
    const FitsHeader header = ReadFitsHeader(source);
    const FrameSize size{header.width, header.height};
    // One pass over the samples, folding each as ApplyBzero(32768) would; the file's own
    // zero offset is not consulted.
    if (size == FrameSize{w, h}) ReadFitsRows(source, header, kCompositeFold, p);
    return size;
}

void ReadSizedFrame(const std::string& path, int w, int h, IntArray2D& p, const CompositeNotice& notice) {
    const FrameSize size = ReadCompositeFrame(path, w, h, p);
    if (size == FrameSize{w, h}) return;
    if (notice) notice(msg::kCompositeResolutionError);
    throw CompositeError(FillMessage(msg::kCompositeSizeDiffers, path, size.width, size.height, w, h));
}

bool HasLongRun(std::int32_t t, int l, int w, int h, const IntArray2D& c) {
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
            const std::int32_t* d = dark[x];
            double* a = acc[x];
            for (int y = 0; y < h; ++y) a[y] += double(d[y]) / n;
        }
    }
    TruncateInto(acc, w, h, dark);
}

DoubleArray2D LoadFlatLevels(const std::string& path, int w, int h, IntArray2D& scratch, const CompositeNotice& notice) {
    ReadSizedFrame(path, w, h, scratch, notice);
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
    // Rows y whose source row y + dy lies inside the frame.
    const int y0 = std::max(0, -shift.dy), y1 = std::min(h, h - shift.dy);
    ColumnProgress bar(progress, w);
    for (int x = 0; x < w; ++x) {
        bar.at(x);
        const int sx = x + shift.dx;
        if (sx < 0 || sx >= w || y0 >= y1) continue;
        const std::int32_t* src = frame[sx];
        double* a = acc[x];
        for (int y = y0; y < y1; ++y) a[y] += double(src[y + shift.dy]) / n;
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
