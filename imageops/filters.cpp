#include "imageops/filters.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace nuvak {

namespace {

using Byte = std::uint8_t;

// The filters' sums stay within 16 bits (at most 5 * 255 + 4 * 255), so the loops over the
// byte rows below run in 16-bit lanes once vectorised. A neighbour one pixel outside the row
// is the edge pixel itself: the first and last pixel of a row take the scalar forms.

inline Byte Clamp255(int v) { return static_cast<Byte>(v < 0 ? 0 : v > 255 ? 255 : v); }

inline Byte HighPass(int p, int left, int right, int up, int down) {
    return p == 255 ? Byte(255) : Clamp255(4 * p - left - right - up - down);
}

// One high-pass row of n bytes from the source rows above, at and below it.
void HighPassRow(const Byte* __restrict up, const Byte* __restrict mid, const Byte* __restrict down,
                 Byte* __restrict out, std::size_t n) {
    const std::size_t head = std::min<std::size_t>(3, n), tail = std::max(head, n - head);
    for (std::size_t i = 0; i < head; ++i)
        out[i] = HighPass(mid[i], mid[i], i + 3 < n ? mid[i + 3] : mid[i], up[i], down[i]);
    for (std::size_t i = 3; i < tail; ++i) {
        const std::int16_t p = mid[i];
        const std::int16_t v = std::int16_t(4 * p - (mid[i - 3] + mid[i + 3] + up[i] + down[i]));
        const std::int16_t c = v < 0 ? std::int16_t(0) : v > 255 ? std::int16_t(255) : v;
        out[i] = p == 255 ? Byte(255) : Byte(c);
    }
    for (std::size_t i = tail; i < n; ++i) out[i] = HighPass(mid[i], mid[i - 3], mid[i], up[i], down[i]);
}

// One low-pass row: 5 times the source row against the high-pass rows above, at and below.
void LowPassRow(const Byte* __restrict p, const Byte* __restrict eUp, const Byte* __restrict eMid,
                const Byte* __restrict eDown, Byte* __restrict out, std::size_t n) {
    const std::size_t head = std::min<std::size_t>(3, n), tail = std::max(head, n - head);
    for (std::size_t i = 0; i < head; ++i)
        out[i] = Clamp255(5 * p[i] - eMid[i] - (i + 3 < n ? eMid[i + 3] : eMid[i]) - eUp[i] - eDown[i]);
    for (std::size_t i = 3; i < tail; ++i) {
        const std::int16_t v = std::int16_t(5 * p[i] - (eMid[i - 3] + eMid[i + 3] + eUp[i] + eDown[i]));
        out[i] = Byte(v < 0 ? std::int16_t(0) : v > 255 ? std::int16_t(255) : v);
    }
    for (std::size_t i = tail; i < n; ++i)
        out[i] = Clamp255(5 * p[i] - eMid[i - 3] - eMid[i] - eUp[i] - eDown[i]);
}

// One blur row of n bytes from the source rows two above, one above and at it; the last four
// pixels are not written and stay white.
void BlurRow(const Byte* __restrict up2, const Byte* __restrict up1, const Byte* __restrict mid,
             Byte* __restrict out, std::size_t n) {
    const std::size_t written = n > 12 ? n - 12 : 0;
    const std::size_t head = std::min<std::size_t>(3, written);
    for (std::size_t i = 0; i < head; ++i) out[i] = Byte((up1[i] + up1[i + 3] + up2[i] + 5 * mid[i]) >> 3);
    for (std::size_t i = head; i < written; ++i) {
        const std::uint16_t v = std::uint16_t(up1[i - 3] + up1[i + 3] + up2[i] + 5 * mid[i]);
        out[i] = Byte(v >> 3);
    }
    std::memset(out + written, 255, n - written);
}

// Runs a filter whose result rows are first .. last over the master picture and draws the
// result, white elsewhere, on the display and the master. The display is written row by row;
// a result row is copied into the master once no later row reads the source row it replaces
// (the next result row reads the source from back rows above it on), so no third picture is
// needed. filterRow(y, out) writes result row y from the master's rows.
template <class FilterRow>
void FilterInPlace(ImageDocument& d, int first, int last, int back, Progress& progress, FilterRow filterRow) {
    Raster& master = d.ImageZm;
    const int w = master.width, h = master.height;
    // Both pictures have the image's size; a display that has not (none yet) is made so.
    if (d.Image.width != w || d.Image.height != h) d.Image = Raster(w, h, Raster::Unwritten{});
    Raster& shown = d.Image;
    const std::size_t stride = master.stride();
    for (int y = 0; y < h; ++y)
        if (y < first || y > last) std::memset(shown.row(y), 255, stride);
    int copied = 0;  // master rows below this one hold the result
    for (int y = first; y <= last; ++y) {
        progress.setPosition(static_cast<int>(double(y) / h * 200));
        filterRow(y, shown.row(y));
        for (; copied <= y - back; ++copied) std::memcpy(master.row(copied), shown.row(copied), stride);
    }
    for (; copied < h; ++copied) std::memcpy(master.row(copied), shown.row(copied), stride);
    d.UndoFlg = 1;
    progress.setPosition(0);
}

}  // namespace

void BlurCommand(ImageDocument& d, Progress& progress) {
    const Raster& p = d.ImageZm;
    FilterInPlace(d, 2, p.height - 3, 2, progress, [&](int y, Byte* out) {
        BlurRow(p.row(y - 2), p.row(y - 1), p.row(y), out, p.stride());
    });
}

void HighPassCommand(ImageDocument& d, Progress& progress) {
    const Raster& p = d.ImageZm;
    FilterInPlace(d, 1, p.height - 2, 1, progress, [&](int y, Byte* out) {
        HighPassRow(p.row(y - 1), p.row(y), p.row(y + 1), out, p.stride());
    });
}

void LowPassCommand(ImageDocument& d, Progress& progress) {
    const Raster& p = d.ImageZm;
    const int h = p.height;
    const std::size_t n = p.stride();
    // The high-pass picture E, three rows at a time: row r lives in slot r % 3. Its rows 0
    // and H-1 are white. E row y + 1 is made before result row y, from source rows y ... y + 2,
    // so source row y is free once result row y is done.
    std::vector<Byte> e(3 * n);
    auto eRow = [&](int r) { return e.data() + std::size_t(r % 3) * n; };
    auto makeE = [&](int r) {
        if (r == 0 || r == h - 1) {
            std::memset(eRow(r), 255, n);
        } else {
            HighPassRow(p.row(r - 1), p.row(r), p.row(r + 1), eRow(r), n);
        }
    };
    if (h > 2) {
        makeE(0);
        makeE(1);
    }
    FilterInPlace(d, 1, h - 2, 0, progress, [&](int y, Byte* out) {
        makeE(y + 1);
        LowPassRow(p.row(y), eRow(y - 1), eRow(y), eRow(y + 1), out, n);
    });
}

}  // namespace nuvak
