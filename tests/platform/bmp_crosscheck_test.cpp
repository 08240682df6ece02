#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <optional>
#include <string>

#include "core/bmp.h"
#include "core/error.h"
#include "tests/support/files.h"

namespace nuvak {
namespace {

using test::Bytes;

// Qt's reader works at the limit our reader has, so that both refuse the same sizes.
const bool kQtAtOurLimit = (QImageReader::setAllocationLimit(kBmpLimitMb), true);

void Put(Bytes& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

// One generated BMP: the headers, then masks, palette and rows or runs.
struct Variant {
    const char* what;
    int bits;
    std::uint32_t compression;
    std::uint32_t header;                   // 12, 40, 52, 56, 108 or 124 bytes
    int width, height;                      // a negative height stores the rows top-down
    int colours = -1;                       // palette entries written and stated; -1: all the depth has
    Bytes runs = {};                        // run-length data; empty: uncompressed rows
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha; all 0: none written
};

Bytes MakeBmp(const Variant& v) {
    const bool core = v.header == 12;
    const bool hasMasks = v.masks[0] || v.masks[1] || v.masks[2] || v.masks[3];
    const int colours = v.bits > 8 ? 0 : v.colours < 0 ? 1 << v.bits : v.colours;
    Bytes b(14 + v.header, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put(b, 14, v.header, 4);
    if (core) {
        Put(b, 18, std::uint32_t(v.width), 2);
        Put(b, 20, std::uint32_t(v.height), 2);
        Put(b, 22, 1, 2);
        Put(b, 24, std::uint32_t(v.bits), 2);
    } else {
        Put(b, 18, std::uint32_t(v.width), 4);
        Put(b, 22, std::uint32_t(v.height), 4);
        Put(b, 26, 1, 2);
        Put(b, 28, std::uint32_t(v.bits), 2);
        Put(b, 30, v.compression, 4);
        Put(b, 46, std::uint32_t(v.colours < 0 ? 0 : v.colours), 4);
        // Later headers hold the masks themselves; after a 40-byte one, bit fields follow it.
        for (int i = 0; i < 4 && hasMasks; ++i)
            if (v.header >= 56 || (v.header == 52 && i < 3)) Put(b, 54 + 4 * std::size_t(i), v.masks[i], 4);
        if (hasMasks && v.header == 40)
            for (int i = 0; i < 3; ++i)
                b.insert(b.end(), {std::uint8_t(v.masks[i]), std::uint8_t(v.masks[i] >> 8),
                                   std::uint8_t(v.masks[i] >> 16), std::uint8_t(v.masks[i] >> 24)});
    }
    for (int i = 0; i < colours; ++i) {
        b.insert(b.end(), {std::uint8_t(40 * i + 7), std::uint8_t(255 - 23 * i), std::uint8_t(90 + 61 * i)});
        if (!core) b.push_back(0);
    }
    Put(b, 10, std::uint32_t(b.size()), 4);
    if (!v.runs.empty()) {
        b.insert(b.end(), v.runs.begin(), v.runs.end());
    } else {
        const std::size_t rowBytes = (std::size_t(v.width) * std::size_t(v.bits) + 31) / 32 * 4;
        for (std::size_t i = 0; i < rowBytes * std::size_t(std::abs(v.height)); ++i)
            b.push_back(std::uint8_t(i * 73 + (i >> 3) * 29 + 5));
    }
    Put(b, 2, std::uint32_t(b.size()), 4);
    return b;
}

// Qt's reader on the bytes, as 24-bit rows; nothing when it refuses them. Given a picture of
// the size and format it makes of runs, Qt's reader writes into that, so the pixels the runs
// skip are palette entry 0 there; alone, it leaves them unwritten.
std::optional<Raster> QtDecode(const Bytes& bytes, const Variant& v) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QByteArrayLiteral("bmp"));
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (!v.runs.empty()) {
        image = QImage(v.width, std::abs(v.height), QImage::Format_Indexed8);
        image.fill(0);
    }
    if (!reader.read(&image)) return std::nullopt;
    image = image.convertToFormat(QImage::Format_BGR888);
    Raster r(image.width(), image.height());
    for (int y = 0; y < r.height; ++y) std::copy_n(image.constScanLine(y), r.stride(), r.row(y));
    return r;
}

std::vector<Variant> Variants() {
    std::vector<Variant> table;
    // Every depth under every header, both row orders (the core header's sides are unsigned:
    // its rows are bottom-up), odd and even widths.
    for (const int bits : {1, 4, 8, 16, 24, 32})
        for (const std::uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u})
            for (const int height : {3, -3})
                for (const int width : {1, 6, 13})
                    if (header != 12 || height > 0) table.push_back({"plain", bits, 0, header, width, height});
    // Short palettes: indices past the stated colours.
    for (const int bits : {1, 4, 8})
        for (const int colours : {1, 2, 3}) table.push_back({"short palette", bits, 0, 40, 11, 4, colours});
    // Bit fields: 5-6-5 and 5-5-5 in 16 bits, 10 bits per channel in 32, alpha masks in the
    // later headers, and a 32-bit uncompressed picture naming an alpha mask.
    const std::uint32_t masks[][4] = {{0xF800, 0x07E0, 0x001F, 0},
                                      {0x7C00, 0x03E0, 0x001F, 0x8000},
                                      {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
                                      {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    for (const auto& m : masks)
        for (const int bits : {16, 32})
            for (const std::uint32_t header : {40u, 52u, 56u, 108u, 124u})
                for (const int height : {5, -5}) {
                    Variant v{"bit fields", bits, 3, header, 7, height};
                    std::copy_n(m, 4, v.masks);
                    table.push_back(v);
                }
    for (const std::uint32_t header : {108u, 124u}) {
        Variant v{"alpha mask", 32, 0, header, 5, 3};
        std::copy_n(masks[3], 4, v.masks);
        table.push_back(v);
    }
    // Run-length data, 7 x 5: runs, literals of odd length, an early line end (the rest of
    // the row is skipped), a move right and up, a run past the row's end, and the picture's
    // end before its last rows or its last line end without a picture's end.
    const Bytes rle8{3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 1, 2, 5, 0, 0, 9, 6, 0, 1};
    const Bytes rle4{3, 0x12, 0,    5, 0x34, 0x56, 0x70, 0, 0, 0, 0,    2, 1,
                     1, 4,    0x89, 0, 0,    10,   0xAB, 0, 0, 7, 0xCD, 0, 0};
    for (const std::uint32_t header : {40u, 108u})
        for (const int height : {5, -5}) {
            table.push_back({"RLE8", 8, 1, header, 7, height, -1, rle8});
            table.push_back({"RLE4", 4, 2, header, 7, height, -1, rle4});
            table.push_back({"RLE8, short palette", 8, 1, header, 7, height, 4, rle8});
        }
    return table;
}

// Every generated variant decodes to the bytes Qt's reader gives, or is refused where Qt's
// reader refuses it. The one exception by design: uncompressed 24-bit rows are read under any
// header of 40 bytes or more.
TEST(BmpCrossCheck, DecodesWhatQtsReaderDecodesToTheSameBytes) {
    ASSERT_TRUE(kQtAtOurLimit);
    int read = 0;
    for (const Variant& v : Variants()) {
        const std::string label = std::string(v.what) + ": " + std::to_string(v.bits) + " bits, compression " +
                                  std::to_string(v.compression) + ", header " + std::to_string(v.header) + ", " +
                                  std::to_string(v.width) + " x " + std::to_string(v.height);
        SCOPED_TRACE(label);
        const Bytes file = MakeBmp(v);
        const std::optional<Raster> qt = QtDecode(file, v);
        std::optional<Raster> ours;
        try {
            ours = DecodeBmp(file, "v.bmp");
        } catch (const FileError&) {
        }
        if (qt) {
            ++read;
            EXPECT_TRUE(ours.has_value()) << "refused what Qt's reader reads";
            if (ours) {
                EXPECT_EQ(*ours, *qt);
            }
        } else if (!(v.bits == 24 && v.compression == 0 && v.header >= 40)) {
            EXPECT_FALSE(ours.has_value()) << "read what Qt's reader refuses";
        }
    }
    EXPECT_GT(read, 150);  // the table is mostly files both read
}

}  // namespace
}  // namespace nuvak
