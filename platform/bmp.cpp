#include "platform/bmp.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <new>

#include "core/error.h"
#include "core/format.h"
#include "core/fileio.h"
#include "resources/messages.h"

namespace nuvak::platform {

namespace {

// Puts the numbers into the "{}" marks of a message, in order.

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t at) { return b[at] | std::uint32_t(b[at + 1]) << 8; }
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // the oldest header: 16-bit sides
constexpr std::uint32_t kInfoHeaderSize = 40;
// The largest side the direct 24-bit path takes; larger pictures go through Qt's reader.
constexpr std::int64_t kMaxPlainSide = 16000;
constexpr std::uint32_t kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
// The resolution every BMP we write states: 96 dots per inch. Qt would give a new picture the
// screen's resolution (or 100 dpi without a screen), so the same picture saved from a window
// and from nuvak-cli, or on two screens, would differ in their headers.
constexpr int kPixelsPerMetre = 3780;

// What the headers say about the pixel rows, for the checks Qt's reader does not make.
struct Layout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative for rows stored top-down
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint64_t dataStart = 0;

    std::uint64_t rows() const { return std::uint64_t(height < 0 ? -height : height); }
    bool runLength() const { return (compression == kRle8 && bitsPerPixel == 8) || (compression == kRle4 && bitsPerPixel == 4); }
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
        l.compression = ~0u;  // a rare header variant: Qt's reader alone decides
    }
    // Qt starts the rows at the stated offset, but never inside the headers.
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

// Qt's reader fills the rows a short file lacks with whatever it likes and reports success,
// so the rows of an uncompressed BMP are counted here first, and run-length data walked.
void CheckPixelBytes(std::span<const std::uint8_t> b, const Layout& l, const std::string& name) {
    if (l.runLength()) return CheckRuns(b, l, name);
    const std::uint64_t fileSize = b.size();
    const bool rowsUncompressed =
        l.compression == kUncompressed || l.compression == kBitFields || l.compression == kAlphaBitFields;
    const std::uint32_t bpp = l.bitsPerPixel;
    const bool knownDepth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    if (!rowsUncompressed || !knownDepth || l.width <= 0 || l.height == 0) return;  // Qt refuses these
    // Sides are below 2^31, so rows of at most 2^33 bytes times 2^31 rows stay within 64 bits.
    const std::uint64_t rowBytes = (std::uint64_t(l.width) * bpp + 31) / 32 * 4;
    const std::uint64_t need = rowBytes * l.rows();
    const std::uint64_t have = fileSize > l.dataStart ? fileSize - l.dataStart : 0;
    if (have < need) throw FileError(name, FillMessage(msg::kBmpTruncated, have, need));
}

// Qt refuses images whose decoded size passes its allocation limit; say so in plain words.
// Qt holds 16- to 32-bit pictures at 32 bits, palette pictures at 8 and bitmaps at 1.
void CheckAllocationLimit(const Layout& l, const std::string& name) {
    const int limitMb = QImageReader::allocationLimit();
    if (limitMb <= 0 || l.width <= 0 || l.height == 0) return;
    const std::uint64_t depth = l.bitsPerPixel > 8 ? 32 : l.bitsPerPixel > 1 ? 8 : 1;
    const std::uint64_t rows = l.rows();
    const std::uint64_t bytes = (std::uint64_t(l.width) * depth + 7) / 8 * rows;
    if (bytes > std::uint64_t(limitMb) << 20)
        throw FileError(name, FillMessage(msg::kBmpTooLarge, std::uint64_t(l.width), rows, (bytes + (1u << 20) - 1) >> 20,
                                                       std::uint64_t(limitMb)));
}

// Qt's BMP writer on a read-only view of the raster's rows; it stores 24 bits per pixel.
std::vector<std::uint8_t> EncodeThroughQt(const Raster& raster) {
    QImage view(raster.bytes.data(), raster.width, raster.height, qsizetype(raster.stride()), QImage::Format_BGR888);
    view.setDotsPerMeterX(kPixelsPerMetre);
    view.setDotsPerMeterY(kPixelsPerMetre);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArrayLiteral("bmp"));
    if (!writer.write(view)) throw ImageError(msg::kBmpEncodeFailed + writer.errorString().toStdString());
    return std::vector<std::uint8_t>(out.begin(), out.end());
}

// The commonest BMP by far, uncompressed 24-bit rows under a 40-byte or later header, is
// copied straight into the raster: the same bytes Qt's reader gives, without its 32-bit
// intermediate picture and two conversions (a 4000 x 3000 picture opens several times faster).
bool IsPlainTrueColour(std::span<const std::uint8_t> b, const Layout& l) {
    return l.bitsPerPixel == 24 && l.compression == kUncompressed && U32(b, kFileHeaderSize) >= kInfoHeaderSize &&
           U16(b, 26) == 1 && l.width > 0 && l.height != 0 && l.width <= kMaxPlainSide && std::int64_t(l.rows()) <= kMaxPlainSide;
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

}  // namespace

Raster DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& name) {
    // Qt's default limit (128 MB decoded) refuses a 6000 x 6000 picture; allow what a 16000 x
    // 16000 frame needs. The size checks below keep small files from claiming more.
    static const bool limitRaised = [] {
        if (QImageReader::allocationLimit() < 1100) QImageReader::setAllocationLimit(1100);
        return true;
    }();
    (void)limitRaised;
    const Layout layout = ReadLayout(bytes, name);
    CheckPixelBytes(bytes, layout, name);
    if (IsPlainTrueColour(bytes, layout)) return DecodePlainTrueColour(bytes, layout, name);

    // The format is forced: a PNG or JPEG named .bmp must not be read as what it really is.
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QByteArrayLiteral("bmp"));
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (layout.runLength()) {
        // Qt leaves the pixels that runs skip (moves, early line ends) unwritten. Given an
        // image of the size and format it would make, it writes into that instead, so they
        // come out as palette entry 0.
        CheckAllocationLimit(layout, name);
        if (layout.width <= INT_MAX && layout.rows() <= INT_MAX) {
            image = QImage(int(layout.width), int(layout.rows()), QImage::Format_Indexed8);
            if (image.isNull()) throw FileError(name, msg::kBmpNoMemory);
            image.fill(0);
        }
    }
    if (!reader.read(&image)) {
        CheckAllocationLimit(layout, name);
        throw FileError(name, msg::kBmpUnreadable + reader.errorString().toStdString());
    }

    // Converting drops any alpha channel and keeps the colours as stored.
    image = image.convertToFormat(QImage::Format_BGR888);
    if (image.isNull()) throw FileError(name, msg::kBmpNoMemory);
    try {
        Raster raster(image.width(), image.height());
        const std::size_t stride = raster.stride();  // Qt pads its rows to 4 bytes; ours are packed
        for (int y = 0; y < raster.height; ++y) std::memcpy(raster.row(y), image.constScanLine(y), stride);
        return raster;
    } catch (const std::bad_alloc&) {
        throw FileError(name, msg::kBmpNoMemory);
    }
}

Raster LoadBmp(const std::string& path) { return DecodeBmp(ReadWholeFile(path), path); }

std::vector<std::uint8_t> EncodeBmp(const Raster& raster) {
    if (raster.empty() || raster.bytes.size() != raster.stride() * std::size_t(raster.height))
        throw ImageError(msg::kBmpNothingToEncode);
    // The file Qt's BMP writer makes of a 24-bit picture, written here row by row straight
    // from the raster: Qt's writer first widens the whole picture to 32 bits and grows its
    // buffer as it goes. Files whose size does not fit the header's 32-bit fields are left to
    // Qt's writer.
    const std::uint64_t rowBytes = (std::uint64_t(raster.width) * 24 + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * std::uint64_t(raster.height);
    constexpr std::uint32_t kHeaderBytes = kFileHeaderSize + kInfoHeaderSize;
    if (pixelBytes > std::uint64_t(INT_MAX) - kHeaderBytes) return EncodeThroughQt(raster);

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
    put(0, 4);                                           // reserved
    put(kHeaderBytes, 4);                                // offset of the pixel rows
    put(kInfoHeaderSize, 4);
    put(std::uint32_t(raster.width), 4);
    put(std::uint32_t(raster.height), 4);                // rows bottom-up
    put(1, 2);                                           // planes
    put(24, 2);                                          // bits per pixel
    put(kUncompressed, 4);
    put(std::uint32_t(pixelBytes), 4);
    put(kPixelsPerMetre, 4);                             // resolution across
    put(kPixelsPerMetre, 4);                             // and down
    put(0, 4);                                           // colours used
    put(0, 4);                                           // important colours
    const std::uint8_t padding[3] = {0, 0, 0};
    const std::size_t stride = raster.stride();
    for (int y = raster.height - 1; y >= 0; --y) {
        const std::uint8_t* row = raster.row(y);
        out.insert(out.end(), row, row + stride);
        out.insert(out.end(), padding, padding + (rowBytes - stride));
    }
    return out;
}

}  // namespace nuvak::platform
