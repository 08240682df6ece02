// The frames as the report measures them, for the report's pass and the many-star search:
// the run's reader, or superpixels of a colour camera's Bayer mosaic.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

#include "core/fitscards.h"
#include "tracking/measure.h"

namespace nuvak {

// A sample read with the zero offset alone at the top of the 16-bit range: saturated.
inline constexpr std::int32_t kSaturated = 65535;

// The frames as the report measures them: as the run reads them, or, for a colour camera's
// Bayer mosaic, as 2 x 2 superpixels of half the width and height, each the sum of its cell
// (an odd last column or row is left out). The same calls as RunFrames' band store.
class ReportReader {
public:
    ReportReader(const MeasureSettings& settings, FrameStore store) : reader_(settings, store) {}

    void open(const std::string& path) { reader_.open(path); }
    const FitsHeader& header() const { return reader_.header(); }
    void setSuperpixels(bool on) { superpixels_ = on; }
    bool superpixels() const { return superpixels_; }
    int width() const { return superpixels_ ? reader_.width() / 2 : reader_.width(); }
    int height() const { return superpixels_ ? reader_.height() / 2 : reader_.height(); }

    void setBand(int y0, int y1) {
        if (!superpixels_) return reader_.setBand(y0, y1);
        y0 = std::max(y0, 0);
        y1 = std::max(std::min(y1, height()), y0);
        const int need = std::max(y1 - y0, 1);
        if (band_.width() != width() || band_.height() < need || band_.height() > 2 * need)
            band_ = IntArray2D(width(), need);
        row0_ = y0;
        rows_ = y1 - y0;
        reader_.setBand(2 * y0, imageRowEnd(y1));
    }
    int bandRows() const { return superpixels_ ? rows_ : reader_.bandRows(); }
    void read(int y0, int y1) {
        if (!superpixels_) return reader_.read(y0, y1);
        reader_.read(2 * y0, imageRowEnd(y1));
        const IntArray2D& f = reader_.frame();
        const int r0 = reader_.frameRow0();
        for (int x = 0; x < width(); ++x) {
            const std::int32_t *a = f[2 * x], *b = f[2 * x + 1];
            std::int32_t* out = band_[x];
            for (int y = y0; y < y1; ++y) {
                const int k = 2 * y - r0;
                out[y - row0_] = a[k] + a[k + 1] + b[k] + b[k + 1];
            }
        }
    }
    const IntArray2D& frame() const { return superpixels_ ? band_ : reader_.frame(); }
    // The image's own rows under the superpixels read (all of them on an image of odd height
    // when the last superpixel row is read): row y is row y - rawRow0() of rawFrame().
    const IntArray2D& rawFrame() const { return reader_.frame(); }
    int rawRow0() const { return reader_.frameRow0(); }
    int frameRow0() const { return superpixels_ ? row0_ : reader_.frameRow0(); }
    // Rows y0 .. y1 - 1 with the zero offset alone; a superpixel takes its cell's largest
    // value, so that a saturated pixel marks its superpixel.
    void readConverted(IntArray2D& band, int y0, int y1) {
        if (!superpixels_) return reader_.readConverted(band, y0, y1);
        if (y0 >= y1) return;
        const int w = reader_.width();
        if (cells_.width() < w || cells_.height() < 2 * (y1 - y0)) cells_ = IntArray2D(w, 2 * (y1 - y0));
        reader_.readConverted(cells_, 2 * y0, 2 * y1);
        for (int x = 0; x < width(); ++x)
            for (int k = 0; k < y1 - y0; ++k)
                band[x][k] = std::max(std::max(cells_[2 * x][2 * k], cells_[2 * x][2 * k + 1]),
                                      std::max(cells_[2 * x + 1][2 * k], cells_[2 * x + 1][2 * k + 1]));
    }

private:
    // The image row after superpixel row y1 - 1: the odd last row comes with the last one.
    int imageRowEnd(int y1) const { return y1 >= height() ? reader_.height() : 2 * y1; }

    RunFrames reader_;
    bool superpixels_ = false;
    IntArray2D band_, cells_;
    int row0_ = 0, rows_ = 0;
};

// A colour camera's raw frame: BAYERPAT or COLORTYP names a 2 x 2 colour filter pattern.
inline bool IsBayerMosaic(const std::string& cards) {
    for (const char* key : {"BAYERPAT", "COLORTYP"}) {
        std::optional<std::string> v = HeaderValue(cards, key);
        if (!v) continue;
        std::string p;
        for (char c : *v)
            if (c != ' ') p += char(std::toupper(static_cast<unsigned char>(c)));
        if (p == "RGGB" || p == "BGGR" || p == "GRBG" || p == "GBRG") return true;
    }
    return false;
}

}  // namespace nuvak
