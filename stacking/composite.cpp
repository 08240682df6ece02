#include "stacking/composite.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// Bytes of a row handled together: the working rows of one block stay in the first-level
// cache, and the loops over a block's bytes are long enough to run on vector registers.
constexpr std::size_t kLanes = 256;

// Row y of every picture.
void RowsAt(const std::vector<const Raster*>& pictures, int y, std::vector<const std::uint8_t*>& rows) {
    for (std::size_t k = 0; k < pictures.size(); ++k) rows[k] = pictures[k]->row(y);
}

// trunc(sum / n) of every byte position: the sums of a block are gathered in Acc, wide
// enough for 255 * n, then divided. For n up to 256, (sum * ceil(2^24 / n)) >> 24 is the
// quotient itself: the error of the scaled reciprocal stays below 255 * n / 2^24 < 1 / n.
template <class Acc>
void AverageRow(const std::vector<const std::uint8_t*>& rows, std::uint8_t* out, std::size_t n) {
    const std::uint32_t count = std::uint32_t(rows.size());
    const std::uint32_t scale = count <= 256 ? std::uint32_t(((std::uint64_t(1) << 24) + count - 1) / count) : 0;
    Acc acc[kLanes];
    for (std::size_t at = 0; at < n; at += kLanes) {
        const std::size_t len = std::min(kLanes, n - at);
        std::fill(acc, acc + len, Acc(0));
        for (const std::uint8_t* row : rows) {
            const std::uint8_t* s = row + at;
            for (std::size_t l = 0; l < len; ++l) acc[l] = Acc(acc[l] + s[l]);
        }
        std::uint8_t* o = out + at;
        if (scale) {
            for (std::size_t l = 0; l < len; ++l) o[l] = std::uint8_t((std::uint32_t(acc[l]) * scale) >> 24);
        } else {
            for (std::size_t l = 0; l < len; ++l) o[l] = std::uint8_t(std::uint32_t(acc[l]) / count);
        }
    }
}

// The rows folded byte by byte into out with op, starting from the first row.
template <class Op>
void FoldRow(const std::vector<const std::uint8_t*>& rows, std::uint8_t* out, std::size_t n, Op op) {
    std::memcpy(out, rows[0], n);
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const std::uint8_t* s = rows[k];
        for (std::size_t i = 0; i < n; ++i) out[i] = op(out[i], s[i]);
    }
}

// A comparator of a sorting network: the smaller value goes to position lo, the larger to hi.
struct Comparator {
    std::size_t lo, hi;
};

// The comparators of Batcher's odd-even merge sort that put the median positions of n values
// in place. The network is built for the next power of two; as the padding positions above n
// would hold values above all others, every comparator that reaches them leaves things as
// they are and is dropped. Walking back from the end, a comparator is kept only when one of
// its positions is still read by the median or by a comparator kept after it.
std::vector<Comparator> MedianNetwork(std::size_t n) {
    std::size_t size = 1;
    while (size < n) size <<= 1;
    std::vector<Comparator> all;
    for (std::size_t p = 1; p < size; p <<= 1)
        for (std::size_t k = p; k >= 1; k >>= 1)
            for (std::size_t j = k % p; j + k < size; j += 2 * k)
                for (std::size_t i = 0; i < k && i + j + k < size; ++i)
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < n) all.push_back({i + j, i + j + k});
    std::vector<bool> read(n, false);
    read[(n - 1) / 2] = true;
    read[n / 2] = true;
    std::vector<Comparator> kept;
    for (auto c = all.rbegin(); c != all.rend(); ++c) {
        if (!read[c->lo] && !read[c->hi]) continue;
        read[c->lo] = read[c->hi] = true;
        kept.push_back(*c);
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

// One comparator on every lane. Written with conditional expressions rather than std::min
// and std::max, whose references keep the compiler from running the loop on vector registers.
void Exchange(std::uint8_t* __restrict a, std::uint8_t* __restrict b) {
    for (std::size_t l = 0; l < kLanes; ++l) {
        const std::uint8_t x = a[l], y = b[l];
        a[l] = x < y ? x : y;
        b[l] = x < y ? y : x;
    }
}

// The median of every byte position: a block of each row is copied into its own lane row of
// block (n rows of kLanes bytes), the network sorts every lane at once, and the middle row,
// or the truncated mean of the two middle rows, is the result.
void MedianRow(const std::vector<const std::uint8_t*>& rows, const std::vector<Comparator>& network,
               std::uint8_t* block, std::uint8_t* out, std::size_t n) {
    const std::size_t count = rows.size();
    const std::uint8_t* low = block + (count - 1) / 2 * kLanes;
    const std::uint8_t* high = block + count / 2 * kLanes;
    for (std::size_t at = 0; at < n; at += kLanes) {
        const std::size_t len = std::min(kLanes, n - at);
        for (std::size_t k = 0; k < count; ++k) std::memcpy(block + k * kLanes, rows[k] + at, len);
        for (const Comparator& c : network) Exchange(block + c.lo * kLanes, block + c.hi * kLanes);
        std::uint8_t* o = out + at;
        for (std::size_t l = 0; l < len; ++l) o[l] = std::uint8_t((low[l] & high[l]) + ((low[l] ^ high[l]) >> 1));
    }
}

}  // namespace

Raster Composite(const std::vector<const Raster*>& pictures, CompositeMethod method, Progress& progress) {
    if (pictures.empty()) throw std::invalid_argument("Composite: no picture");
    const int w = pictures[0]->width, h = pictures[0]->height;
    for (const Raster* p : pictures)
        if (p->width != w || p->height != h) throw std::invalid_argument("Composite: pictures differ in size");

    Raster out(w, h, Raster::Unwritten{});
    const std::size_t n = out.stride();
    const std::size_t count = pictures.size();
    std::vector<const std::uint8_t*> rows(count);
    std::vector<Comparator> network;
    std::vector<std::uint8_t> block;
    if (method == CompositeMethod::ExpectedValue) {
        network = MedianNetwork(count);
        block.resize(count * kLanes);
    }
    for (int y = 0; y < h; ++y) {
        progress.setPosition(int(y / (h * 0.01)));
        RowsAt(pictures, y, rows);
        std::uint8_t* o = out.row(y);
        switch (method) {
            case CompositeMethod::Average:
                if (count <= 257) AverageRow<std::uint16_t>(rows, o, n);
                else AverageRow<std::uint32_t>(rows, o, n);
                break;
            case CompositeMethod::Add:
                FoldRow(rows, o, n, [](std::uint8_t a, std::uint8_t b) {
                    const unsigned s = unsigned(a) + b;
                    return std::uint8_t(s > 255 ? 255 : s);
                });
                break;
            case CompositeMethod::Maximum:
                FoldRow(rows, o, n, [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
                break;
            case CompositeMethod::Minimum:
                FoldRow(rows, o, n, [](std::uint8_t a, std::uint8_t b) { return std::min(a, b); });
                break;
            case CompositeMethod::ExpectedValue:
                MedianRow(rows, network, block.data(), o, n);
                break;
        }
    }
    progress.setPosition(0);
    return out;
}

std::vector<std::size_t> ResolveCaptions(const std::vector<const ImageDocument*>& windows,
                                         const std::vector<std::string>& captions) {
    std::vector<std::size_t> found;
    found.reserve(captions.size());
    for (const std::string& caption : captions) {
        const auto it = std::find_if(windows.begin(), windows.end(),
                                     [&](const ImageDocument* d) { return d->caption == caption; });
        if (it == windows.end()) throw ImageError(FillMessage(msg::kNoSuchImage, caption));
        found.push_back(std::size_t(it - windows.begin()));
    }
    return found;
}

ImageDocument NewPictureDocument(Raster picture) {
    ImageDocument d;
    d.FilterI = ImageKind::Colour;
    d.caption = "New";
    d.DemX = picture.width;
    d.DemY = picture.height;
    d.MAX = 255;
    d.MIN = 0;
    d.ColN = 1;
    d.ZomN = 1.0;
    d.ImageZm = picture;
    d.Image = std::move(picture);
    d.UndoFlg = 1;
    return d;
}

std::optional<ImageDocument> CompositeCommand(const std::vector<const ImageDocument*>& windows,
                                              const std::vector<std::string>& captions, CompositeMethod method,
                                              Progress& progress) {
    if (captions.empty()) return std::nullopt;
    const std::vector<std::size_t> listed = ResolveCaptions(windows, captions);
    std::vector<const Raster*> pictures;
    pictures.reserve(listed.size());
    for (std::size_t i : listed) pictures.push_back(&windows[i]->ImageZm);
    const Raster& first = *pictures[0];
    for (std::size_t k = 1; k < pictures.size(); ++k) {
        const Raster& p = *pictures[k];
        if (p.width != first.width || p.height != first.height)
            throw ImageError(FillMessage(msg::kSizeDiffers, captions[k], p.width, p.height, first.width,
                                         first.height));
    }
    try {
        return NewPictureDocument(Composite(pictures, method, progress));
    } catch (const std::bad_alloc&) {
        progress.setPosition(0);
        throw ImageError(msg::kOutOfMemory);
    }
}

}  // namespace nuvak
