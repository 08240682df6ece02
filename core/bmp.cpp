#include "core/bmp.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <optional>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t at) { return b[at] | std::uint32_t(b[at + 1]) << 8; }
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // the oldest header: 16-bit sides
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::int32_t kOs2HeaderSize = 64;  // read as far as the 40-byte header goes
constexpr std::int32_t kV4HeaderSize = 108;  // colour masks and colour space
constexpr std::int32_t kV5HeaderSize = 124;  // and a colour profile
// The largest side the direct 24-bit path takes; larger pictures take the general reader.
constexpr std::int64_t kMaxPlainSide = 16000;
// The general reader takes at most 16384 x 16384 pixels.
constexpr std::uint64_t kMaxPixels = std::uint64_t(16384) * 16384;
// The widest picture a 32-bit working row of int-sized bytes holds, and an 8-bit one.
constexpr std::int64_t kMaxWidth32 = (INT_MAX - 31) / 32;
constexpr std::int64_t kMaxWidth8 = (INT_MAX - 31) / 8;
constexpr std::uint32_t kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
// The resolution every BMP we write states: 96 dots per inch, so that the same picture saved
// from a window and from nuvak-cli, or on two screens, gives the same file.
constexpr int kPixelsPerMetre = 3780;

// ---------------------------------------------------------------------------------------------
// The checks made before any pixel is read: the signature, the headers being there, every
// uncompressed row and every run being in the file, and the size limit.

// What the headers say about the pixel rows.
struct Layout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative for rows stored top-down
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint64_t dataStart = 0;

    std::uint64_t rows() const { return std::uint64_t(height < 0 ? -height : height); }
    bool runLength() const {
        return (compression == kRle8 && bitsPerPixel == 8) || (compression == kRle4 && bitsPerPixel == 4);
    }
};

Layout ReadLayout(std::span<const std::uint8_t> b, const std::string& name) {
    if (b.empty()) throw FileError(name, msg::kBmpEmpty);
    if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') throw FileError(name, msg::kBmpNoSignature);
    if (b.size() < kFileHeaderSize + 4) throw FileError(name, msg::kBmpHeaderCut);
    const std::uint32_t infoSize = U32(b, kFileHeaderSize);
    Layout l;
    if (infoSize == kCoreHeaderSize) {
        if (b.size() < kFileHeaderSize + kCoreHeaderSize) throw FileError(name, msg::kBmpHeaderCut);
        l.width = U16(b, 18);
        l.height = U16(b, 20);
        l.bitsPerPixel = U16(b, 24);
    } else if (infoSize >= kInfoHeaderSize) {
        if (b.size() < kFileHeaderSize + kInfoHeaderSize) throw FileError(name, msg::kBmpHeaderCut);
        l.width = std::int32_t(U32(b, 18));
        l.height = std::int32_t(U32(b, 22));
        l.bitsPerPixel = U16(b, 28);
        l.compression = U32(b, 30);
    } else {
        l.compression = ~0u;  // a rare header variant: the general reader alone decides
    }
    // Rows start at the stated offset, but never inside the headers.
    l.dataStart = std::max<std::uint64_t>(U32(b, 10), kFileHeaderSize + std::uint64_t(infoSize));
    return l;
}

// Walks run-length rows (pairs of count and colour, or 0 and an escape) to their end, so that
// a stream cut short is refused like short uncompressed rows are.
void CheckRuns(std::span<const std::uint8_t> b, const Layout& l, const std::string& name) {
    std::uint64_t pos = l.dataStart;
    std::uint64_t row = 0;
    while (row < l.rows()) {
        if (pos > b.size() || b.size() - pos < 2) throw FileError(name, FillMessage(msg::kBmpRunsCut, row, l.rows()));
        const std::uint8_t count = b[pos];
        const std::uint8_t code = b[pos + 1];
        pos += 2;
        if (count != 0) continue;  // a run of one colour
        if (code == 0) {
            ++row;  // end of line
        } else if (code == 1) {
            return;  // end of picture
        } else if (code == 2) {
            if (b.size() - pos < 2) throw FileError(name, FillMessage(msg::kBmpRunsCut, row, l.rows()));
            row += b[pos + 1];  // move right and down
            pos += 2;
        } else {
            // `code` literal pixels, one byte each or two to a byte, padded to 16 bits.
            const std::uint64_t literalBytes = l.compression == kRle4 ? (code + 1u) / 2 : code;
            pos += (literalBytes + 1) / 2 * 2;
        }
    }
}

// The rows of an uncompressed BMP are counted before anything is read, and run-length data
// walked: a short file is refused rather than read with rows missing.
void CheckPixelBytes(std::span<const std::uint8_t> b, const Layout& l, const std::string& name) {
    if (l.runLength()) return CheckRuns(b, l, name);
    const std::uint64_t fileSize = b.size();
    const bool rowsUncompressed =
        l.compression == kUncompressed || l.compression == kBitFields || l.compression == kAlphaBitFields;
    const std::uint32_t bpp = l.bitsPerPixel;
    const bool knownDepth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    if (!rowsUncompressed || !knownDepth || l.width <= 0 || l.height == 0) return;  // refused later
    // Sides are below 2^31, so rows of at most 2^33 bytes times 2^31 rows stay within 64 bits.
    const std::uint64_t rowBytes = (std::uint64_t(l.width) * bpp + 31) / 32 * 4;
    const std::uint64_t need = rowBytes * l.rows();
    const std::uint64_t have = fileSize > l.dataStart ? fileSize - l.dataStart : 0;
    if (have < need) throw FileError(name, FillMessage(msg::kBmpTruncated, have, need));
}

// Refuses a picture whose decoded size passes the limit, saying so in plain words: 16- to
// 32-bit pictures counted at 32 bits, palette pictures at 8 and bitmaps at 1.
void CheckAllocationLimit(const Layout& l, const std::string& name) {
    if (l.width <= 0 || l.height == 0) return;
    const std::uint64_t depth = l.bitsPerPixel > 8 ? 32 : l.bitsPerPixel > 1 ? 8 : 1;
    const std::uint64_t rows = l.rows();
    const std::uint64_t bytes = (std::uint64_t(l.width) * depth + 7) / 8 * rows;
    if (bytes > std::uint64_t(kBmpLimitMb) << 20)
        throw FileError(name, FillMessage(msg::kBmpTooLarge, std::uint64_t(l.width), rows,
                                          (bytes + (1u << 20) - 1) >> 20, std::uint64_t(kBmpLimitMb)));
}

// ---------------------------------------------------------------------------------------------
// The commonest BMP by far, uncompressed 24-bit rows under a 40-byte or later header, is
// copied straight into the raster.

bool IsPlainTrueColour(std::span<const std::uint8_t> b, const Layout& l) {
    return l.bitsPerPixel == 24 && l.compression == kUncompressed && U32(b, kFileHeaderSize) >= kInfoHeaderSize &&
           U16(b, 26) == 1 && l.width > 0 && l.height != 0 && l.width <= kMaxPlainSide &&
           std::int64_t(l.rows()) <= kMaxPlainSide;
}

Raster DecodePlainTrueColour(std::span<const std::uint8_t> b, const Layout& l, const std::string& name) {
    CheckAllocationLimit(l, name);
    const int w = int(l.width), h = int(l.rows());
    const std::size_t rowBytes = (std::size_t(w) * 24 + 31) / 32 * 4;
    try {
        Raster raster(w, h, Raster::Unwritten{});
        const std::size_t stride = raster.stride();
        for (int y = 0; y < h; ++y) {
            // Rows are stored bottom-up unless the height is negative.
            const int stored = l.height > 0 ? h - 1 - y : y;
            std::memcpy(raster.row(y), b.data() + l.dataStart + std::size_t(stored) * rowBytes, stride);
        }
        return raster;
    } catch (const std::bad_alloc&) {
        throw FileError(name, msg::kBmpNoMemory);
    }
}

// ---------------------------------------------------------------------------------------------
// The general reader: every other depth, compression and header. It reads the file as a
// stream, as BMP readers have long done: headers, then masks or palette where the header ends,
// then the rows from the stated offset when that lies ahead (otherwise where the palette
// ends). Damaged files are read as far as they go; only the checks above refuse them early.

// A read position over the file's bytes. Reads past the end give what is there.
class Stream {
public:
    explicit Stream(std::span<const std::uint8_t> bytes) : b_(bytes) {}
    std::int64_t pos() const { return pos_; }
    bool atEnd() const { return pos_ >= size(); }
    // A position outside the file is refused and the position kept.
    bool seek(std::int64_t to) {
        if (to < 0 || to > size()) return false;
        pos_ = to;
        return true;
    }
    // Copies up to n bytes; returns how many there were.
    std::int64_t read(std::uint8_t* dst, std::int64_t n) {
        const std::int64_t got = std::max<std::int64_t>(0, std::min(n, size() - pos_));
        if (got > 0) std::memcpy(dst, b_.data() + pos_, std::size_t(got));
        pos_ += got;
        return got;
    }
    // One byte into c; at the end c keeps its value.
    bool get(std::uint8_t& c) {
        if (atEnd()) return false;
        c = b_[std::size_t(pos_++)];
        return true;
    }
    void skip() {
        if (!atEnd()) ++pos_;
    }

private:
    std::int64_t size() const { return std::int64_t(b_.size()); }
    std::span<const std::uint8_t> b_;
    std::int64_t pos_ = 0;
};

// The information header as the reader takes it. Only the 40-, 64-, 108- and 124-byte headers
// are read as information headers (the 64-byte one as far as the 40-byte one goes); any other
// size is read as the 12-byte core header, signed 16-bit sides and no compression.
struct DibHeader {
    std::int32_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t planes = 0;
    std::int16_t bitCount = 0;
    std::int32_t compression = 0;
    std::int32_t coloursUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (108 bytes and more)
};

std::optional<DibHeader> ReadDibHeader(std::span<const std::uint8_t> b, Stream& s) {
    DibHeader h;
    if (b.size() < kFileHeaderSize + 4) return std::nullopt;
    h.size = std::int32_t(U32(b, kFileHeaderSize));
    const bool info = h.size == std::int32_t(kInfoHeaderSize) || h.size == kOs2HeaderSize || h.size == kV4HeaderSize ||
                      h.size == kV5HeaderSize;
    if (info) {
        const std::size_t fields = h.size == kOs2HeaderSize ? kInfoHeaderSize : std::size_t(h.size);
        if (b.size() < kFileHeaderSize + fields) return std::nullopt;
        h.width = std::int32_t(U32(b, 18));
        h.height = std::int32_t(U32(b, 22));
        h.planes = std::int16_t(U16(b, 26));
        h.bitCount = std::int16_t(U16(b, 28));
        h.compression = std::int32_t(U32(b, 30));
        h.coloursUsed = std::int32_t(U32(b, 46));
        if (h.size >= kV4HeaderSize)
            for (int i = 0; i < 4; ++i) h.masks[i] = U32(b, 54 + 4 * std::size_t(i));
        s.seek(std::int64_t(kFileHeaderSize + fields));
    } else {
        if (b.size() < kFileHeaderSize + kCoreHeaderSize) return std::nullopt;
        h.width = std::int16_t(U16(b, 18));
        h.height = std::int16_t(U16(b, 20));
        h.planes = std::int16_t(U16(b, 22));
        h.bitCount = std::int16_t(U16(b, 24));
        s.seek(std::int64_t(kFileHeaderSize + kCoreHeaderSize));
    }
    const int bits = h.bitCount;
    const int comp = h.compression;
    if (!(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) || h.planes != 1 ||
        comp > int(kBitFields))
        return std::nullopt;
    if (!(comp == int(kUncompressed) || (bits == 4 && comp == int(kRle4)) || (bits == 8 && comp == int(kRle8)) ||
          ((bits == 16 || bits == 32) && comp == int(kBitFields))))
        return std::nullopt;
    if (h.height == INT_MIN || h.width <= 0 || h.height == 0 ||
        std::uint64_t(h.width) * std::uint64_t(std::abs(std::int64_t(h.height))) > kMaxPixels)
        return std::nullopt;
    return h;
}

// One colour channel of a 16- or 32-bit pixel: its bits, moved down to bit 0 and scaled by
// 256 / (largest value + 1), keeping the low 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t scale = 0;

    static std::optional<Channel> Of(std::uint32_t mask) {
        Channel c{mask, 0, 0};
        while (mask && !(mask & 1)) {
            ++c.shift;
            mask >>= 1;
        }
        if (mask == 0xFFFFFFFFu) return std::nullopt;  // no scale for 33 bits
        c.scale = 256 / (mask + 1);
        return c;
    }
    std::uint8_t operator()(std::uint32_t pixel) const { return std::uint8_t(((pixel & mask) >> shift) * scale); }
};

using Bgr = std::array<std::uint8_t, 3>;

// The rows being read: where from, how many, in which order.
struct Reading {
    const DibHeader& header;
    Stream& stream;
    int width = 0;
    int rows = 0;
    bool topDown = false;
    // The output row of the n-th row stored in the file.
    int outputRow(int stored) const { return topDown ? stored : rows - 1 - stored; }
};

// Palette indices of a run-length picture in rows of `stride` bytes, top row first (the file
// stores the bottom row first), pre-set to 0 so that pixels the runs skip take entry 0. A run
// is clipped only where the bottom row, the last in memory, ends: a run past another row's end
// goes on through its padding into the row below, as BMP readers have long done.
struct RunDecoder {
    std::vector<std::uint8_t>& data;
    std::int64_t stride;
    std::int64_t w;
    std::int64_t h;

    // False when a literal run of an 8-bit picture is cut short.
    bool decode(Stream& s, bool fourBit) {
        std::int64_t x = 0, y = 0;
        std::int64_t p = (h - 1) * stride;  // bottom row: the last in memory
        const std::int64_t end = p + w;
        std::uint8_t b = 0;
        // A byte the file lacks leaves the one read last in its place: an 8-bit run's colour, a
        // move's step or a 4-bit literal run's odd last pixel share one place.
        std::uint8_t spare = 0;
        auto clip = [&](std::uint8_t n) { return std::uint8_t(p + n > end ? end - p : n); };
        while (y < h) {
            if (!s.get(b)) break;
            if (b != 0) {  // b pixels of one colour
                const std::uint8_t n = clip(b);
                if (fourBit) {
                    b = n;
                    s.get(b);  // two pixels to repeat
                    for (int i = 0; i < n / 2; ++i) {
                        data[std::size_t(p++)] = b >> 4;
                        data[std::size_t(p++)] = b & 0x0F;
                    }
                    if (n & 1) data[std::size_t(p++)] = b >> 4;
                } else {
                    s.get(spare);
                    std::memset(data.data() + p, spare, n);
                    p += n;
                }
                x += n;
                continue;
            }
            if (!s.get(b) || b == 1) break;  // end of picture
            if (b == 0) {                    // end of line
                x = 0;
                ++y;
                p = (h - y - 1) * stride;
            } else if (b == 2) {  // move right and up
                s.get(spare);
                x += spare;
                s.get(spare);
                y += spare;
                if (std::uint64_t(x) >= std::uint64_t(w)) x = w - 1;
                if (std::uint64_t(y) >= std::uint64_t(h)) y = h - 1;
                p = (h - y - 1) * stride + x;
            } else {  // b literal pixels, padded to 16 bits
                const std::uint8_t n = clip(b);
                if (fourBit) {
                    b = n;
                    for (int i = 0; i < n / 2; ++i) {
                        s.get(b);
                        data[std::size_t(p++)] = b >> 4;
                        data[std::size_t(p++)] = b & 0x0F;
                    }
                    if (n & 1) {
                        s.get(spare);
                        data[std::size_t(p++)] = spare >> 4;
                    }
                    if ((((n & 3) + 1) & 2) == 2) s.skip();
                } else {
                    if (s.read(data.data() + p, n) != n) return false;
                    if (n & 1) s.skip();
                    p += n;
                }
                x += n;
            }
        }
        return true;
    }
};

// The palette as the rows' indices see it: 256 entries, those the file lacks black. A bitmap
// has two: the file's first, and its second or else white.
std::optional<std::array<Bgr, 256>> ReadPalette(const DibHeader& h, Stream& s, int count) {
    std::array<Bgr, 256> table{};
    const std::int64_t entryBytes = h.size == std::int32_t(kCoreHeaderSize) ? 3 : 4;
    std::uint8_t entry[4];
    for (int i = 0; i < count; ++i) {
        if (s.read(entry, entryBytes) != entryBytes) return std::nullopt;
        if (h.bitCount != 1 || i < 2) table[std::size_t(i)] = {entry[0], entry[1], entry[2]};
        if (s.atEnd()) return std::nullopt;  // no pixels after the palette
    }
    if (h.bitCount == 1 && count == 1) table[1] = {255, 255, 255};
    return table;
}

// Reads uncompressed rows of palette indices or colours into the raster.
void ReadUncompressedRows(Reading& r, Raster& out, const std::array<Bgr, 256>& palette, const Channel* channels) {
    const int bits = r.header.bitCount;
    const std::size_t w = std::size_t(r.width);
    const std::size_t fileRow = (w * std::size_t(bits) + 31) / 32 * 4;
    std::vector<std::uint8_t> row(fileRow);
    for (int stored = 0; stored < r.rows; ++stored) {
        std::fill(row.begin(), row.end(), 0);
        const std::int64_t got = r.stream.read(row.data(), std::int64_t(fileRow));
        // A bitmap's or 8-bit picture's short last row keeps the bytes there are; other depths
        // leave it unread. The rows after it are palette entry 0, or black.
        if (got != std::int64_t(fileRow) && bits != 1 && bits != 8) break;
        std::uint8_t* o = out.row(r.outputRow(stored));
        switch (bits) {
            case 1:
                for (std::size_t x = 0; x < w; ++x, o += 3)
                    std::memcpy(o, palette[(row[x >> 3] >> (7 - (x & 7))) & 1].data(), 3);
                break;
            case 4:
                for (std::size_t x = 0; x < w; ++x, o += 3)
                    std::memcpy(o, palette[x & 1 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4].data(), 3);
                break;
            case 8:
                for (std::size_t x = 0; x < w; ++x, o += 3) std::memcpy(o, palette[row[x]].data(), 3);
                break;
            default: {
                const std::size_t step = std::size_t(bits) / 8;
                if (!channels) {  // 24 or 32 bits as blue, green, red
                    for (std::size_t x = 0; x < w; ++x, o += 3) std::memcpy(o, &row[x * step], 3);
                    break;
                }
                for (std::size_t x = 0; x < w; ++x, o += 3) {
                    const std::uint8_t* q = &row[x * step];
                    std::uint32_t v = q[0] | std::uint32_t(q[1]) << 8;
                    if (bits > 16) v |= std::uint32_t(q[2]) << 16;
                    if (bits > 24) v |= std::uint32_t(q[3]) << 24;
                    o[0] = channels[2](v);
                    o[1] = channels[1](v);
                    o[2] = channels[0](v);
                }
            }
        }
        if (got != std::int64_t(fileRow)) break;
    }
}

// The picture the general reader makes of the file, or nothing when it does not take it.
// Rows the file lacks (only where no check above counted them) are palette entry 0 or black.
// Throws FileError (kBmpNoMemory) when the raster cannot be had.
std::optional<Raster> ReadGeneral(std::span<const std::uint8_t> b, const Layout& layout, const std::string& name) {
    Stream s(b);
    const std::optional<DibHeader> header = ReadDibHeader(b, s);
    if (!header) return std::nullopt;
    const DibHeader& h = *header;
    if (s.atEnd()) return std::nullopt;
    const int bits = h.bitCount;
    const bool runLength = h.compression == int(kRle8) || h.compression == int(kRle4);
    const bool bitFields = h.compression == int(kBitFields);
    s.seek(std::int64_t(kFileHeaderSize) + h.size);  // masks or palette
    std::uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (h.size < kV4HeaderSize && bitFields) {
        for (int i = 0; i < 3; ++i) {
            std::uint8_t m[4];
            if (s.read(m, 4) != 4) return std::nullopt;
            masks[i] = m[0] | std::uint32_t(m[1]) << 8 | std::uint32_t(m[2]) << 16 | std::uint32_t(m[3]) << 24;
        }
        masks[3] = 0;
    }
    int colours = 0;
    if (bits <= 8) {
        colours = h.coloursUsed ? h.coloursUsed : 1 << bits;
        if (colours < 1 || colours > 256) return std::nullopt;
    }
    const int w = h.width;
    const int rows = h.height < 0 ? -h.height : h.height;
    // A run-length picture of the size the headers above gave works in 8-bit rows, up to the
    // 8-bit width; any other picture's working rows are 32-bit.
    const bool runRows =
        layout.runLength() && layout.width == w && std::int64_t(layout.rows()) == rows && (bits == 4 || bits == 8);
    if (!runRows && w > kMaxWidth32) return std::nullopt;

    std::array<Bgr, 256> palette{};
    std::optional<Channel> channels[4];
    bool mapped = false;
    if (colours > 0) {
        const auto table = ReadPalette(h, s, colours);
        if (!table) return std::nullopt;
        palette = *table;
    } else if (bitFields) {
        for (int i = 0; i < 4; ++i)
            if (!(channels[i] = Channel::Of(masks[i]))) return std::nullopt;
        mapped = true;
    } else if (bits == 16) {
        // Five bits per channel, each times 8.
        channels[0] = Channel{0x7C00, 7, 1};
        channels[1] = Channel{0x03E0, 2, 1};
        channels[2] = Channel{0x001F, 0, 8};
        mapped = true;
    }
    const std::int64_t dataStart = std::int32_t(U32(b, 10));
    if (dataStart >= 0 && dataStart > s.pos()) s.seek(dataStart);

    Reading r{h, s, w, rows, h.height < 0};
    if (!runLength) {
        Raster out;
        try {
            out = Raster(w, rows, Raster::Unwritten{});
        } catch (const std::bad_alloc&) {
            throw FileError(name, msg::kBmpNoMemory);
        }
        // Rows the file lacks are left as palette entry 0, or black.
        const Bgr fill = bits <= 8 ? palette[0] : Bgr{0, 0, 0};
        for (std::size_t i = 0; i < out.bytes.size(); i += 3) std::memcpy(&out.bytes[i], fill.data(), 3);
        Channel c[3];
        if (mapped)
            for (int i = 0; i < 3; ++i) c[i] = *channels[i];
        ReadUncompressedRows(r, out, palette, mapped ? c : nullptr);
        return out;
    }

    const std::int64_t stride = (std::int64_t(w) + 3) / 4 * 4;
    std::vector<std::uint8_t> indices;
    try {
        indices.assign(std::size_t(stride) * std::size_t(rows), 0);
    } catch (const std::bad_alloc&) {
        throw FileError(name, msg::kBmpNoMemory);
    }
    RunDecoder runs{indices, stride, w, rows};
    if (!runs.decode(s, bits == 4)) return std::nullopt;
    // The working 32-bit rows of the colours are refused past their width.
    if (w > kMaxWidth32) throw FileError(name, msg::kBmpNoMemory);
    try {
        Raster out(w, rows, Raster::Unwritten{});
        for (int stored = 0; stored < rows; ++stored) {
            const std::uint8_t* in = &indices[std::size_t(rows - 1 - stored) * std::size_t(stride)];
            std::uint8_t* o = out.row(r.outputRow(stored));
            for (int x = 0; x < w; ++x, o += 3) std::memcpy(o, palette[in[x]].data(), 3);
        }
        return out;
    } catch (const std::bad_alloc&) {
        throw FileError(name, msg::kBmpNoMemory);
    }
}

}  // namespace

Raster DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& name) {
    const Layout layout = ReadLayout(bytes, name);
    CheckPixelBytes(bytes, layout, name);
    if (IsPlainTrueColour(bytes, layout)) return DecodePlainTrueColour(bytes, layout, name);
    if (layout.runLength()) {
        // Runs state no size, so the headers' is checked before anything is set aside.
        CheckAllocationLimit(layout, name);
        if (layout.width <= 0 || layout.height == 0 || layout.width > kMaxWidth8)
            throw FileError(name, msg::kBmpNoMemory);
    }
    std::optional<Raster> raster = ReadGeneral(bytes, layout, name);
    if (!raster) {
        CheckAllocationLimit(layout, name);
        throw FileError(name, std::string(msg::kBmpUnreadable) + msg::kBmpNoImageData);
    }
    return std::move(*raster);
}

Raster LoadBmp(const std::string& path) { return DecodeBmp(ReadWholeFile(path), path); }

std::vector<std::uint8_t> EncodeBmp(const Raster& raster) {
    if (raster.empty() || raster.bytes.size() != raster.stride() * std::size_t(raster.height))
        throw ImageError(msg::kBmpNothingToEncode);
    const std::uint64_t rowBytes = (std::uint64_t(raster.width) * 24 + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * std::uint64_t(raster.height);
    constexpr std::uint32_t kHeaderBytes = kFileHeaderSize + kInfoHeaderSize;
    // The header's sizes are signed 32-bit fields.
    if (pixelBytes > std::uint64_t(INT_MAX) - kHeaderBytes)
        throw ImageError(std::string(msg::kBmpEncodeFailed) + msg::kBmpWriterFailed);

    std::vector<std::uint8_t> out;
    out.reserve(kHeaderBytes + pixelBytes);
    // The file is as large as the picture: its block gets the same advice as the picture's.
    AdviseLargeRasterBlock(out.data(), out.capacity());
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    };
    out.push_back('B');
    out.push_back('M');
    put(std::uint32_t(kHeaderBytes + pixelBytes), 4);  // file size
    put(0, 4);                                         // reserved
    put(kHeaderBytes, 4);                              // offset of the pixel rows
    put(kInfoHeaderSize, 4);
    put(std::uint32_t(raster.width), 4);
    put(std::uint32_t(raster.height), 4);  // rows bottom-up
    put(1, 2);                             // planes
    put(24, 2);                            // bits per pixel
    put(kUncompressed, 4);
    put(std::uint32_t(pixelBytes), 4);
    put(kPixelsPerMetre, 4);  // resolution across
    put(kPixelsPerMetre, 4);  // and down
    put(0, 4);                // colours used
    put(0, 4);                // important colours
    const std::uint8_t padding[3] = {0, 0, 0};
    const std::size_t stride = raster.stride();
    for (int y = raster.height - 1; y >= 0; --y) {
        const std::uint8_t* row = raster.row(y);
        out.insert(out.end(), row, row + stride);
        out.insert(out.end(), padding, padding + (rowBytes - stride));
    }
    return out;
}

}  // namespace nuvak
