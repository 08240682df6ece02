#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <string>

#include "core/bmp.h"
#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "tests/support/files.h"

namespace nuvak::platform {
namespace {

using test::Bytes;

std::uint32_t U32At(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

// Every byte different along a row and between rows, so that lost padding, a shifted row or
// swapped channels change the picture.
Raster Pattern(int w, int h) {
    Raster r(w, h);
    for (std::size_t i = 0; i < r.bytes.size(); ++i) r.bytes[i] = std::uint8_t(i * 37 + 11);
    return r;
}

// A 32-bit uncompressed BMP written byte by byte (Qt's writer never writes one): pixels
// blue, green, red, unused; rows bottom-up, or top-down when the height is negative.
Bytes Bmp32(const Raster& r, bool topDown) {
    const std::size_t pixelBytes = std::size_t(r.width) * r.height * 4;
    Bytes b(54 + pixelBytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, std::uint32_t(b.size()));
    PutU32(b, 10, 54);
    PutU32(b, 14, 40);
    PutU32(b, 18, std::uint32_t(r.width));
    PutU32(b, 22, std::uint32_t(topDown ? -r.height : r.height));
    b[26] = 1;   // planes
    b[28] = 32;  // bits per pixel; compression stays 0
    for (int y = 0; y < r.height; ++y) {
        const int fileRow = topDown ? y : r.height - 1 - y;
        for (int x = 0; x < r.width; ++x) {
            std::uint8_t* p = &b[54 + (std::size_t(fileRow) * r.width + x) * 4];
            const std::uint8_t* q = r.pixel(x, y);
            p[0] = q[0];
            p[1] = q[1];
            p[2] = q[2];
            p[3] = 0x5A;  // an unused byte that must not leak into the colours
        }
    }
    return b;
}

Bytes QtFile(const QImage& image, const char* format) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return Bytes(out.begin(), out.end());
}

FileError DecodeFailure(const Bytes& bytes, const std::string& name) {
    try {
        DecodeBmp(bytes, name);
    } catch (const FileError& e) {
        return e;
    }
    ADD_FAILURE() << name << " was decoded without complaint";
    return FileError(name, "");
}

TEST(BmpRoundTrip, WritesTwentyFourBitsAndKeepsOddWidthsExact) {
    // Widths 1, 2, 3, 5 and 7 need 1 to 3 padding bytes per file row (rows are whole 4-byte
    // words on disk); 4 needs none.
    const int sizes[][2] = {{1, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 1}, {7, 5}, {1, 9}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + " x " + std::to_string(s[1]));
        const Raster original = Pattern(s[0], s[1]);
        const Bytes file = EncodeBmp(original);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(file[28] | file[29] << 8, 24) << "bits per pixel";
        EXPECT_EQ(U32At(file, 30), 0u) << "compression";
        const std::size_t paddedRow = (std::size_t(s[0]) * 3 + 3) / 4 * 4;
        EXPECT_EQ(file.size() - U32At(file, 10), paddedRow * s[1]) << "pixel bytes";
        EXPECT_EQ(DecodeBmp(file, "round.bmp"), original);
        // Byte for byte the file Qt's own BMP writer makes of the picture at 96 dpi, whatever
        // the screen (a 100-dpi default here, without one).
        QByteArray qt;
        QBuffer buffer(&qt);
        buffer.open(QIODevice::WriteOnly);
        QImage view(original.bytes.data(), s[0], s[1], qsizetype(original.stride()), QImage::Format_BGR888);
        view.setDotsPerMeterX(3780);
        view.setDotsPerMeterY(3780);
        ASSERT_TRUE(QImageWriter(&buffer, QByteArrayLiteral("bmp")).write(view));
        EXPECT_EQ(file, Bytes(qt.begin(), qt.end()));
    }
    EXPECT_THROW(EncodeBmp(Raster()), ImageError);
}

// 24-bit uncompressed files are copied straight into the raster: the bytes must be those Qt's
// own reader makes, for padded rows, both row orders and pixel data after a gap.
TEST(BmpDecoder, TwentyFourBitFilesGiveTheBytesQtsReaderGives) {
    struct Case {
        int w, h;
        bool topDown;
        std::uint32_t gap;  // bytes between the headers and the pixels
    };
    for (const Case c :
         {Case{1, 1, false, 0}, Case{2, 3, false, 0}, Case{3, 2, true, 0}, Case{5, 4, false, 6}, Case{7, 3, true, 2}}) {
        const Raster r = Pattern(c.w, c.h);
        const std::size_t rowBytes = (std::size_t(c.w) * 3 + 3) / 4 * 4;
        Bytes b(54 + c.gap + rowBytes * c.h, 0xEE);
        std::fill(b.begin(), b.begin() + 54, 0);
        b[0] = 'B';
        b[1] = 'M';
        PutU32(b, 2, std::uint32_t(b.size()));
        PutU32(b, 10, 54 + c.gap);
        PutU32(b, 14, 40);
        PutU32(b, 18, std::uint32_t(c.w));
        PutU32(b, 22, std::uint32_t(c.topDown ? -c.h : c.h));
        b[26] = 1;
        b[28] = 24;
        for (int y = 0; y < c.h; ++y)
            std::copy_n(r.row(y), std::size_t(c.w) * 3,
                        &b[54 + c.gap + rowBytes * std::size_t(c.topDown ? y : c.h - 1 - y)]);
        const QImage qt =
            QImage::fromData(QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())), "BMP")
                .convertToFormat(QImage::Format_BGR888);
        const Raster ours = DecodeBmp(b, "t.bmp");
        ASSERT_EQ(ours.width, c.w);
        ASSERT_EQ(ours.height, c.h);
        for (int y = 0; y < c.h; ++y) {
            EXPECT_TRUE(std::equal(ours.row(y), ours.row(y) + std::size_t(c.w) * 3, r.row(y)))
                << c.w << "x" << c.h << " row " << y;
            EXPECT_TRUE(std::equal(ours.row(y), ours.row(y) + std::size_t(c.w) * 3, qt.constScanLine(y)))
                << c.w << "x" << c.h;
        }
    }
}

TEST(BmpDecoder, ThirtyTwoBitFilesBecomeTwentyFourBitInTopRowFirstOrder) {
    const Raster original = Pattern(3, 4);
    EXPECT_EQ(DecodeBmp(Bmp32(original, false), "bottom-up.bmp"), original);
    EXPECT_EQ(DecodeBmp(Bmp32(original, true), "top-down.bmp"), original);
}

TEST(BmpDecoder, PaletteFilesGiveTheTableColours) {
    // Qt stores up to 16 colours at 4 bits per pixel and more at 8; two colours as a bitmap.
    struct Case {
        int colours;
        QImage::Format format;
        int bitsOnDisk;
    };
    for (const Case c :
         {Case{20, QImage::Format_Indexed8, 8}, Case{5, QImage::Format_Indexed8, 4}, Case{2, QImage::Format_Mono, 1}}) {
        SCOPED_TRACE(std::to_string(c.bitsOnDisk) + "-bit palette");
        QImage image(11, 3, c.format);
        QList<QRgb> table;
        for (int i = 0; i < c.colours; ++i) table.append(qRgb(10 * i + 5, 250 - 11 * i, 3 * i));
        image.setColorTable(table);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x) image.setPixel(x, y, uint((x + 4 * y) % c.colours));
        const Bytes file = QtFile(image, "BMP");
        ASSERT_EQ(file[28], c.bitsOnDisk);

        const Raster r = DecodeBmp(file, "palette.bmp");
        ASSERT_EQ(r.width, 11);
        ASSERT_EQ(r.height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x) {
                const QRgb want = table[(x + 4 * y) % c.colours];
                const std::uint8_t* p = r.pixel(x, y);
                EXPECT_EQ(p[0], qBlue(want)) << "blue at " << x << "," << y;
                EXPECT_EQ(p[1], qGreen(want)) << "green at " << x << "," << y;
                EXPECT_EQ(p[2], qRed(want)) << "red at " << x << "," << y;
            }
    }
}

TEST(BmpDecoder, RefusesOtherFormatsUnderTheBmpName) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    const Bytes png = QtFile(image, "PNG");
    ASSERT_FALSE(QImage::fromData(QByteArray(reinterpret_cast<const char*>(png.data()), qsizetype(png.size())))
                     .isNull());  // Qt would read it by its content
    const FileError e = DecodeFailure(png, "photo.bmp");
    EXPECT_EQ(e.path(), "photo.bmp");
    EXPECT_EQ(e.problem(), msg::kBmpNoSignature);

    EXPECT_EQ(DecodeFailure({}, "empty.bmp").problem(), msg::kBmpEmpty);
}

TEST(BmpDecoder, RefusesCutShortFilesNamingFileAndCounts) {
    // 5 x 2 at 24 bits: rows of 15 bytes padded to 16, so 32 pixel bytes behind the 54-byte
    // header. Cut by 10, 22 remain.
    const Bytes file = EncodeBmp(Pattern(5, 2));
    ASSERT_EQ(file.size(), 54u + 32u);
    test::TempDir dir;
    const std::string path = dir.file("cut.bmp");
    test::WriteBytes(path, Bytes(file.begin(), file.end() - 10));
    try {
        LoadBmp(path);
        FAIL() << "a cut-short file was read";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(e.problem(), FillMessage(msg::kBmpTruncated, 22, 32));
        EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
    }
    EXPECT_EQ(DecodeFailure(Bytes(file.begin(), file.begin() + 30), "header.bmp").problem(), msg::kBmpHeaderCut);
}

// An 8-bit run-length BMP with a two-colour palette (0 red, 1 blue), written byte by byte.
Bytes Rle8(int w, int h, const Bytes& runs) {
    Bytes b(54 + 8 + runs.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, std::uint32_t(b.size()));
    PutU32(b, 10, 54 + 8);
    PutU32(b, 14, 40);
    PutU32(b, 18, std::uint32_t(w));
    PutU32(b, 22, std::uint32_t(h));
    b[26] = 1;
    b[28] = 8;
    PutU32(b, 30, 1);  // 8-bit run-length compression
    PutU32(b, 46, 2);  // colours used
    b[56] = 255;       // entry 0: blue 0, green 0, red 255
    b[58] = 255;       // entry 1: blue 255
    std::copy(runs.begin(), runs.end(), b.begin() + 54 + 8);
    return b;
}

TEST(BmpDecoder, RunLengthPixelsThatAreSkippedTakePaletteEntryZero) {
    // Bottom row: 4 pixels of colour 1, then a move 1 right and 2 up, 3 pixels of colour 1
    // (columns 5 to 7 of the second row from the top), end of picture. Everything not
    // written is entry 0 (red), not left-over memory.
    const Bytes file = Rle8(8, 4, {4, 1, 0, 2, 1, 2, 3, 1, 0, 1});
    for (int attempt = 0; attempt < 3; ++attempt) {  // left-over memory would differ between runs
        const Raster r = DecodeBmp(file, "runs.bmp");
        ASSERT_EQ(r.width, 8);
        ASSERT_EQ(r.height, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool blue = (y == 3 && x < 4) || (y == 1 && x >= 5);
                EXPECT_EQ(r.colour(x, y), blue ? 255u << 16 : 255u) << "at " << x << "," << y;
            }
    }
}

TEST(BmpDecoder, RefusesCutShortRunsAndHugeRunLengthHeaders) {
    // Two rows, each 8 pixels and an end of line; the second cut after its run.
    const Bytes whole = Rle8(8, 2, {8, 1, 0, 0, 8, 0, 0, 0});
    EXPECT_NO_THROW(DecodeBmp(whole, "whole.bmp"));
    const FileError cut = DecodeFailure(Bytes(whole.begin(), whole.end() - 2), "runs.bmp");
    EXPECT_EQ(cut.problem(), FillMessage(msg::kBmpRunsCut, 1, 2));

    // Runs have no size known from the header, so a short file may promise 40000 x 40000;
    // Qt's reader refuses what passes its allocation limit, and the message says so.
    const FileError huge = DecodeFailure(Rle8(40000, 40000, {0, 1}), "huge.bmp");
    EXPECT_EQ(huge.path(), "huge.bmp");
    // 40000 x 40000 palette bytes are 1526 MB, rounded up.
    EXPECT_EQ(huge.problem(), FillMessage(msg::kBmpTooLarge, 40000, 40000, 1526, QImageReader::allocationLimit()));
}

}  // namespace
}  // namespace nuvak::platform
