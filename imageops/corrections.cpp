#include "imageops/corrections.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/error.h"
#include "core/format.h"
#include "imageops/tone.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// Rows per band of the convolutions: the accumulators of one column's band stay in the
// first-level cache while every tap is added to them.
constexpr int kBand = 64;

// acc[y] += k * in[y] for n rows.
inline void AddTap(double* __restrict acc, const std::int32_t* __restrict in, double k, int n) {
    for (int y = 0; y < n; ++y) acc[y] += k * in[y];
}
// The sums as results: truncated toward zero (a converted -0.5 is 0, as trunc makes it),
// negatives 0, with cap at most 255.
inline void StoreSums(const double* __restrict acc, std::int32_t* __restrict out, int n, bool cap) {
    for (int y = 0; y < n; ++y) out[y] = std::max(static_cast<std::int32_t>(acc[y]), 0);
    if (cap)
        for (int y = 0; y < n; ++y) out[y] = std::min(out[y], 255);
}
// The same where the pixel is below t; elsewhere the pixel itself (negatives 0).
inline void StoreSumsBelow(const double* __restrict acc, const std::int32_t* __restrict in, std::int32_t t,
                           std::int32_t* __restrict out, int n, bool cap) {
    for (int y = 0; y < n; ++y) out[y] = std::max(in[y] >= t ? in[y] : static_cast<std::int32_t>(acc[y]), 0);
    if (cap)
        for (int y = 0; y < n; ++y) out[y] = std::min(out[y], 255);
}
inline void StoreKept(const std::int32_t* __restrict in, std::int32_t* __restrict out, int n, bool cap) {
    for (int y = 0; y < n; ++y) out[y] = std::clamp(in[y], 0, cap ? 255 : INT32_MAX);
}

// The convolution of c with k (normalised in place first), taps shifted by `shift` pixels right
// and down from ConvolveKernel's, for every pixel or, thresholded, for the pixels below t only
// (the others keep their values); negatives become 0, and with cap results above 255 become 255
// (the callers' clamp, folded in). In place, band of rows by band of rows: a band's results wait
// in pending (w x at least PendingRows(b)) until no later band reads the rows they replace.
// rowsDone(y) is called after rows 0 .. y-1. Per pixel the taps are added in the order i, then
// j, from 0, as the pixel-by-pixel rule does, so the sums are the same.
// Rows of the buffer of ConvolveRows for kernels b high, for either shift.
int PendingRows(int b) { return b / 2 + kBand; }

template <class RowsDone>
void ConvolveRows(int shift, bool thresholded, std::int32_t t, bool cap, int a, int b, DoubleArray2D& k, int w,
                  int h, IntArray2D& c, IntArray2D& pending, RowsDone rowsDone) {
    const int shiftX = shift - a / 2, shiftY = shift - b / 2;
    // Rows above a band that the band still reads.
    const int lag = std::max(0, -shiftY);
    int base = 0;  // the image row of pending's first row
    // Rows base .. upTo - 1 into c, when filled .. - 1 have been computed.
    auto commit = [&](int upTo, int filled) {
        const int n = upTo - base;
        if (n <= 0) return;
        for (int x = 0; x < w; ++x) {
            std::memcpy(c[x] + base, pending[x], sizeof(std::int32_t) * std::size_t(n));
            std::memmove(pending[x], pending[x] + n, sizeof(std::int32_t) * std::size_t(filled - upTo));
        }
        base = upTo;
    };

    double acc[kBand];
    double sum = 0;
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) sum += k[i][j];
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) k[i][j] /= sum;
    for (int y0 = 0; y0 < h; y0 += kBand) {
        const int y1 = std::min(h, y0 + kBand);
        commit(y0 - lag, y0);
        for (int x = 0; x < w; ++x) {
            const std::int32_t* col = c[x];
            std::int32_t* o = pending[x] + (y0 - base);
            const bool any = !thresholded || std::any_of(col + y0, col + y1, [t](std::int32_t v) { return v < t; });
            if (any) {
                std::fill(acc, acc + (y1 - y0), 0.0);
                // Only the taps whose column lies inside the image.
                const int iLo = std::max(0, -(x + shiftX)), iHi = std::min(a, w - (x + shiftX));
                for (int i = iLo; i < iHi; ++i) {
                    const std::int32_t* in = c[x + i + shiftX];
                    const double* ki = k[i];
                    for (int j = 0; j < b; ++j) {
                        const double kij = ki[j];
                        if (kij == 0) continue;
                        const int dy = j + shiftY;
                        const int lo = std::max(y0, -dy), hi = std::min(y1, h - dy);
                        if (lo < hi) AddTap(acc + (lo - y0), in + (lo + dy), kij, hi - lo);
                    }
                }
            }
            const int n = y1 - y0;
            if (!thresholded)
                StoreSums(acc, o, n, cap);
            else if (any)
                StoreSumsBelow(acc, col + y0, t, o, n, cap);
            else
                StoreKept(col + y0, o, n, cap);
        }
        rowsDone(y1);
    }
    commit(h, h);
}

// One byte (0 blue, 1 green, 2 red) of every pixel of a picture into a channel of its size, and
// back; a few rows at a time, so that each column is written a cache line at a time.
constexpr int kTile = 16;
void ReadChannel(const Raster& picture, int byte, IntArray2D& c) {
    for (int y0 = 0; y0 < picture.height; y0 += kTile) {
        const int y1 = std::min(picture.height, y0 + kTile);
        for (int x = 0; x < picture.width; ++x) {
            std::int32_t* col = c[x];
            for (int y = y0; y < y1; ++y) col[y] = picture.row(y)[3 * std::size_t(x) + byte];
        }
    }
}
void WriteChannel(const IntArray2D& c, int byte, Raster& picture) {
    for (int y0 = 0; y0 < picture.height; y0 += kTile) {
        const int y1 = std::min(picture.height, y0 + kTile);
        for (int x = 0; x < picture.width; ++x) {
            const std::int32_t* col = c[x];
            for (int y = y0; y < y1; ++y) picture.row(y)[3 * std::size_t(x) + byte] = static_cast<std::uint8_t>(col[y]);
        }
    }
}

// The largest flow half-size whose kernel is worth trying to allocate; beyond it the arrays
// could not be had on any machine, and the side lengths would overflow.
constexpr int kMaxHalfSize = 1 << 24;

}  // namespace

void RotateKernel(double theta, int a, int b, DoubleArray2D& k) {
    const double phi = theta * 3.1415926 * (1.0 / 180);
    const double c = std::cos(phi), s = std::sin(phi);
    DoubleArray2D padded(2 * a, 2 * b);
    for (int i = 0; i < a; ++i)
        for (int j = 0; j < b; ++j) padded[int(a * 0.5 + i)][int(b * 0.5 + j)] = k[i][j];
    for (int q = int(a * 0.5); q < 1.5 * a; ++q) {
        for (int p = int(b * 0.5); p < 1.5 * b; ++p) {
            const double dx = q - a, dy = p - b;
            const double sx = c * dx - s * dy + a, sy = s * dx + c * dy + b;
            const int ix = int(sx), iy = int(sy);
            const double fx = sx - ix, fy = sy - iy;
            if (ix > 0 && iy > 0 && ix < 2 * a && iy < 2 * b)
                k[int(q - a * 0.5)][int(p - b * 0.5)] =
                    fx * fy * padded[ix][iy] + fy * (1 - fx) * padded[ix - 1][iy] +
                    fx * (1 - fy) * padded[ix][iy - 1] + (1 - fx) * (1 - fy) * padded[ix - 1][iy - 1];
        }
    }
}

int ConvolveKernelBelow(std::int32_t t, int a, int b, DoubleArray2D& k, int w, int h, IntArray2D& c) {
    IntArray2D pending(w, PendingRows(b));
    ConvolveRows(1, true, t, false, a, b, k, w, h, c, pending, [](int) {});
    return 0;
}

void ComaCorrectCommand(ImageDocument& d, int, int, double, double gamma) {
    if (d.kind() != ImageKind::Colour) return;
    if (!(gamma > 0)) throw ImageError(FillMessage(msg::kComaGammaNotPositive, FormatGeneral(gamma)));
    try {
        d.Image = GammaMapped(d.ImageZm, gamma);
    } catch (const std::bad_alloc&) {
        throw ImageError(msg::kComaNoMemory);
    }
    d.UndoFlg = 1;
}

void GuideMissCancelCommand(ImageDocument& d, const GuideMissSettings& s, Progress& progress) {
    if (!s.confirmed) return;
    if (!(s.blur > 0)) throw ImageError(FillMessage(msg::kGuideMissBlurNotPositive, FormatGeneral(s.blur)));
    Raster& shown = d.Image;
    const int w = shown.width, h = shown.height;
    const int m = std::max(1, s.flow);
    // A kernel that does not fit in the picture only reads outside it, and its cost grows with
    // its area: such a flow is refused before anything is allocated. The smallest kernel, of
    // a flow of 1 or less, always runs.
    const long long side = 2LL * m + 3;
    if (m > 1 && (side > w || side > h))
        throw ImageError(FillMessage(msg::kGuideMissKernelTooLarge, s.flow, side, side, w, h));
    if (m > kMaxHalfSize) throw ImageError(msg::kGuideMissNoMemory);
    const int a = 2 * m + 3, b = a;
    try {
        // Everything is allocated before the picture changes; the channels are independent,
        // so each goes through both stages and back into Image on its own.
        IntArray2D channel(w, h), pending(w, PendingRows(b));
        DoubleArray2D sharpen(a, b), blur(a, b);
        sharpen[0][2 * m] = -1.0;
        sharpen[2 * m][2 * m] = 3.0;
        sharpen[2 * m + 2][2 * m] = -1.0;
        RotateKernel(s.direction, a, b, sharpen);
        // Weights that nearly cancel would blow the sums past the integers' range.
        double sum = 0, magnitude = 0;
        for (int i = 0; i < a; ++i)
            for (int j = 0; j < b; ++j) {
                sum += sharpen[i][j];
                magnitude += std::fabs(sharpen[i][j]);
            }
        if (!(255 * magnitude / std::fabs(sum) < 2147483647.0))
            throw ImageError(FillMessage(msg::kGuideMissKernelCancels, s.direction, s.flow));
        for (int i = 0; i < a; ++i)
            for (int j = 0; j < b; ++j) {
                const double di = i - 2 * m, dj = j - 2 * m;
                blur[i][j] = std::exp(-(di * di) / (s.blur * s.blur) - (dj * dj) / (s.blur * s.blur));
            }

        // The work in rows: per channel reading, sharpening, blurring and writing.
        const long long total = 12LL * h;
        long long done = 0;
        int shownPercent = -1;
        auto advance = [&](long long rows) {
            done += rows;
            const int percent = total > 0 ? int(done * 100 / total) : 100;
            if (percent != shownPercent) progress.setPosition(shownPercent = percent);
        };
        auto convolve = [&](bool thresholded, DoubleArray2D& k) {
            int previous = 0;
            const int shift = thresholded ? 1 : 0;
            ConvolveRows(shift, thresholded, s.threshold, true, a, b, k, w, h, channel, pending, [&](int rows) {
                advance(rows - previous);
                previous = rows;
            });
        };
        // Red, green, blue: the order in which each kernel is normalised again.
        for (const int byte : {2, 1, 0}) {
            ReadChannel(shown, byte, channel);
            advance(h);
            convolve(false, sharpen);  // the convolution of ConvolveKernel, clamped to 0 ... 255
            convolve(true, blur);
            WriteChannel(channel, byte, shown);
            advance(h);
        }
    } catch (const std::bad_alloc&) {
        progress.setPosition(0);
        throw ImageError(msg::kGuideMissNoMemory);
    }
    progress.setPosition(0);
}

}  // namespace nuvak
