#include "core/blooming.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/error.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

using Mask = Array2D<std::uint8_t>;

// The median of the window around (x, y), inside the image: the k-th largest of the n values,
// k = (n + 1) / 2. Repeated maximum picks that zero the picked cells give the same value, except
// that from the second pick on a zeroed cell outranks the negative ones: hence the 0 floor.
std::int32_t WindowMedian(int r, int x, int y, const IntArray2D& c, std::int32_t* scratch) {
    const int side = 2 * r + 1;
    std::int32_t* out = scratch;
    for (int i = x - r; i <= x + r; ++i) {
        const std::int32_t* col = c[i] + (y - r);
        for (int j = 0; j < side; ++j) *out++ = col[j];
    }
    const int n = side * side, k = (n + 1) / 2;
    std::nth_element(scratch, scratch + (n - k), scratch + n);
    const std::int32_t v = scratch[n - k];
    return k >= 2 && v < 0 ? 0 : v;
}

bool MedianExists(int r, int w, int h, int x, int y) { return r >= 0 && x > r && y > r && x < w - r && y < h - r; }

}  // namespace

int RemoveBlooming(std::int32_t t, int l, int r, int w, int h, IntArray2D& c) {
    if (w <= 0 || h <= 0) return 0;
    // Every work array first, so that a failure leaves the channel as it was.
    Mask streak(w, h), grown(w, h);
    IntArray2D replacement(w, h);
    std::vector<std::uint8_t> filling(std::size_t(h), 0);
    const bool medians = r >= 0 && 2 * std::int64_t(r) + 2 <= std::min(w, h);
    std::vector<std::int32_t> scratch(medians ? std::size_t(2 * r + 1) * std::size_t(2 * r + 1) : 0);

    // Mask of the cells at or above t that lie in vertical runs longer than l.
    for (int x = 0; x < w; ++x) {
        const std::int32_t* col = c[x];
        std::uint8_t* m = streak[x];
        for (int y = 0; y < h;) {
            if (col[y] < t) {
                ++y;
                continue;
            }
            int end = y;
            while (end < h && col[end] >= t) ++end;
            if (end - y > l) std::memset(m + y, 1, std::size_t(end - y));
            y = end + 1;  // the cell after a run is below t
        }
    }

    // Row fill, walked along every row at once: filling[y] says that the previous cell of row y
    // was a streak cell filled from its left.
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = c[x];
        const std::uint8_t* m = streak[x];
        std::int32_t* next = x + 2 < w ? c[x + 1] : nullptr;
        const std::int32_t* next2 = x + 2 < w ? c[x + 2] : nullptr;
        const std::int32_t* left = x > 0 ? c[x - 1] : nullptr;
        for (int y = 0; y < h; ++y) {
            if (filling[y] && col[y] < t && next) {
                next[y] = next2[y];
                col[y] = next[y];
            }
            if (col[y] >= t && left && m[y]) {
                col[y] = left[y];
                filling[y] = 1;
            } else {
                filling[y] = 0;
            }
        }
    }

    // The mask grown by the four direct neighbours, inside the border.
    for (int x = 0; x < w; ++x) std::memcpy(grown[x], streak[x], std::size_t(h));
    for (int x = 1; x + 1 < w; ++x) {
        const std::uint8_t *m = streak[x], *ml = streak[x - 1], *mr = streak[x + 1];
        std::uint8_t* g = grown[x];
        for (int y = 1; y + 1 < h; ++y) g[y] = std::uint8_t(m[y] | m[y - 1] | m[y + 1] | ml[y] | mr[y]);
    }

    // Medians of the filled channel over the grown mask, then put in where above 0.
    if (!medians) return 0;
    for (int x = r + 1; x < w - r; ++x) {
        const std::uint8_t* g = grown[x];
        std::int32_t* rep = replacement[x];
        for (int y = r + 1; y < h - r; ++y)
            if (g[y]) rep[y] = std::clamp(WindowMedian(r, x, y, c, scratch.data()), 0, 65535);
    }
    for (int x = r + 1; x < w - r; ++x) {
        const std::int32_t* rep = replacement[x];
        std::int32_t* col = c[x];
        for (int y = r + 1; y < h - r; ++y)
            if (rep[y] > 0) col[y] = rep[y];
    }
    return 0;
}

bool NeighbourhoodMedian(int r, int w, int h, int x, int y, const IntArray2D& c, std::int32_t& result) {
    if (!MedianExists(r, w, h, x, y)) return false;
    std::vector<std::int32_t> scratch(std::size_t(2 * r + 1) * std::size_t(2 * r + 1));
    result = WindowMedian(r, x, y, c, scratch.data());
    return true;
}

void SplitChannels(const Raster& picture, IntArray2D& blue, IntArray2D& green, IntArray2D& red) {
    constexpr int kTile = 16;  // rows per pass: one cache line of each column
    const int w = picture.width, h = picture.height;
    for (int y0 = 0; y0 < h; y0 += kTile) {
        const int y1 = std::min(h, y0 + kTile);
        for (int x = 0; x < w; ++x) {
            std::int32_t *b = blue[x], *g = green[x], *r = red[x];
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* p = picture.pixel(x, y);
                b[y] = p[0];
                g[y] = p[1];
                r[y] = p[2];
            }
        }
    }
}

void JoinChannels(const IntArray2D& blue, const IntArray2D& green, const IntArray2D& red, Raster& picture) {
    constexpr int kTile = 16;
    const int w = picture.width, h = picture.height;
    for (int y0 = 0; y0 < h; y0 += kTile) {
        const int y1 = std::min(h, y0 + kTile);
        for (int x = 0; x < w; ++x) {
            const std::int32_t *b = blue[x], *g = green[x], *r = red[x];
            for (int y = y0; y < y1; ++y) {
                std::uint8_t* p = picture.pixel(x, y);
                p[0] = static_cast<std::uint8_t>(b[y]);
                p[1] = static_cast<std::uint8_t>(g[y]);
                p[2] = static_cast<std::uint8_t>(r[y]);
            }
        }
    }
}

void RemoveBloomingCommand(ImageDocument& d, Progress& progress) {
    Raster& master = d.ImageZm;
    const int w = master.width, h = master.height;
    try {
        progress.setPosition(20);
        IntArray2D blue(w, h), green(w, h), red(w, h);
        // The display takes the master's size; a new one is made before anything changes.
        const bool resize = d.Image.width != w || d.Image.height != h;
        Raster shown = resize ? Raster(w, h, Raster::Unwritten{}) : Raster();
        SplitChannels(master, blue, green, red);
        progress.setPosition(40);
        RemoveBlooming(222, 5, 1, w, h, red);
        RemoveBlooming(222, 5, 1, w, h, green);
        RemoveBlooming(222, 5, 1, w, h, blue);
        progress.setPosition(60);
        JoinChannels(blue, green, red, master);
        progress.setPosition(80);
        blue.reset();
        green.reset();
        red.reset();
        progress.setPosition(100);
        if (resize) d.Image = std::move(shown);
        std::copy(master.bytes.begin(), master.bytes.end(), d.Image.bytes.begin());
    } catch (const std::bad_alloc&) {
        progress.setPosition(0);
        throw ImageError(msg::kBloomingNoMemory);
    }
    progress.setPosition(0);
}

}  // namespace nuvak
