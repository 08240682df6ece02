#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>
#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "core/error.h"
#include "core/jpeg.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_files.h"

namespace nuvak {
namespace {

using test::Bytes;

// Blue rises by 3 a column, green by 2 a row, red stays at 200: a channel swap or a flipped
// row order shows as a large error, while the gentle ramps compress well.
Raster Gradient(int w, int h) {
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = r.pixel(x, y);
            p[0] = std::uint8_t(30 + 3 * x);
            p[1] = std::uint8_t(40 + 2 * y);
            p[2] = 200;
        }
    return r;
}

double MeanAbsoluteError(const Raster& a, const Raster& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) sum += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    return sum / double(a.bytes.size());
}

// Offset of the first marker `code` among the header segments (before the scan data), or -1.
long FindHeaderMarker(const Bytes& jpeg, std::uint8_t code) {
    std::size_t pos = 2;  // after SOI
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        if (jpeg[pos + 1] == code) return long(pos);
        if (jpeg[pos + 1] == 0xDA) return -1;  // start of scan: the header is over
        pos += 2 + (std::size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
    }
    return -1;
}

// Offset of the first entropy-coded byte: just behind the start-of-scan segment.
std::size_t ScanDataStart(const Bytes& jpeg) {
    for (std::size_t pos = 2; pos + 4 <= jpeg.size();) {
        const std::size_t length = std::size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (jpeg[pos + 1] == 0xDA) return pos + 2 + length;
        pos += 2 + length;
    }
    ADD_FAILURE() << "no start-of-scan marker";
    return jpeg.size();
}

// Runs the decoder on bad input and returns the error; fails the test if none comes.
FileError DecodeFailure(const Bytes& bytes, const std::string& name) {
    try {
        DecodeJpeg(bytes, name);
    } catch (const FileError& e) {
        return e;
    }
    ADD_FAILURE() << name << " was decoded without complaint";
    return FileError(name, "");
}

TEST(JpegRoundTrip, SizesExactAndPixelsWithinCompressionError) {
    // 1 x 1 and the odd sizes leave partial 8 x 8 blocks and half chroma samples at the edges.
    const int sizes[][2] = {{1, 1}, {3, 5}, {17, 9}, {1, 31}, {31, 1}, {64, 48}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + " x " + std::to_string(s[1]));
        const Raster original = Gradient(s[0], s[1]);
        const Raster decoded = DecodeJpeg(EncodeJpeg(original), "round.jpg");
        ASSERT_EQ(decoded.width, s[0]);
        ASSERT_EQ(decoded.height, s[1]);
        ASSERT_EQ(decoded.bytes.size(), original.bytes.size());
        // Quality 70 on smooth ramps costs a level or two per sample on average; a swapped
        // channel or flipped row order would cost tens.
        EXPECT_LT(MeanAbsoluteError(original, decoded), 3.0);
    }
}

TEST(JpegEncoder, WritesBaselineAtQualitySeventyByDefaultAndRefusesEmptyRasters) {
    const Bytes jpeg = EncodeJpeg(Gradient(20, 10));
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_GE(FindHeaderMarker(jpeg, 0xC0), 0) << "no baseline frame header (0xFFC0)";
    EXPECT_EQ(FindHeaderMarker(jpeg, 0xC2), -1) << "progressive frame header written";

    // The first luminance quantiser of the standard table is 16; quality 70 scales the table
    // to 60 %, giving (16 * 60 + 50) / 100 = 10. Quality 100 scales it to 1.
    const auto firstQuantiser = [](const Bytes& j) {
        const long dqt = FindHeaderMarker(j, 0xDB);
        EXPECT_GE(dqt, 0);
        return dqt < 0 ? -1 : int(j[std::size_t(dqt) + 5]);  // marker, length, table byte
    };
    EXPECT_EQ(firstQuantiser(jpeg), 10);
    EXPECT_EQ(firstQuantiser(EncodeJpeg(Gradient(20, 10), 100)), 1);

    Raster shortBytes(4, 4);
    shortBytes.bytes.pop_back();
    EXPECT_THROW(EncodeJpeg(shortBytes), ImageError);
    EXPECT_THROW(EncodeJpeg(Raster()), ImageError);
}

TEST(JpegDecoder, GreyImageGivesThreeEqualBytes) {
    const int w = 5, h = 3;
    std::uint8_t grey[w * h];
    for (int i = 0; i < w * h; ++i) grey[i] = std::uint8_t(60 + 10 * i);
    const Raster r = DecodeJpeg(test::LibraryJpeg(w, h, 1, JCS_GRAYSCALE, grey, JCS_GRAYSCALE), "grey.jpg");
    ASSERT_EQ(r.width, w);
    ASSERT_EQ(r.height, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = r.pixel(x, y);
            EXPECT_EQ(p[0], p[1]) << "at " << x << "," << y;
            EXPECT_EQ(p[1], p[2]) << "at " << x << "," << y;
            EXPECT_NEAR(p[0], grey[y * w + x], 8) << "at " << x << "," << y;
        }
}

TEST(JpegDecoder, RefusesCmykAndYcck) {
    std::uint8_t cmyk[4 * 4 * 4];
    std::memset(cmyk, 100, sizeof cmyk);
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        const FileError e = DecodeFailure(test::LibraryJpeg(4, 4, 4, JCS_CMYK, cmyk, stored), "print.jpg");
        EXPECT_NE(std::string(e.what()).find("print.jpg"), std::string::npos) << e.what();
        EXPECT_EQ(e.problem(), msg::kJpegCmyk);
    }
}

// A noisy picture, so that the scan data is long enough to be cut and damaged in its middle.
Bytes NoisyJpeg() {
    Raster r(48, 40);
    unsigned seed = 12345;
    for (auto& b : r.bytes) {
        seed = seed * 1103515245u + 12345u;
        b = std::uint8_t(seed >> 16);
    }
    return EncodeJpeg(r);
}

// Every refusal names the file and gives the problem in Japanese: the library's English
// sentences are turned into reasons (or left out), never shown.
TEST(JpegDecoder, RefusesEmptyAndForeignInput) {
    const Bytes good = NoisyJpeg();
    const std::size_t scan = ScanDataStart(good);
    const long sof = FindHeaderMarker(good, 0xC0);
    ASSERT_GE(sof, 0);
    const auto with = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    Bytes extra = good;
    extra.insert(extra.begin() + sof, {'x', 'y', 'z'});  // bytes between two header segments
    const std::string damaged = msg::kJpegDamaged, unreadable = msg::kJpegUnreadable;
    const struct {
        const char* what;
        Bytes bytes;
        std::string says;
    } rows[] = {
        {"empty", {}, msg::kJpegEmpty},
        {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, msg::kJpegNoSoi},
        {"start marker alone", {0xFF, 0xD8}, unreadable + msg::kJpegWhyMarkers},
        {"cut in the scan data", Bytes(good.begin(), good.begin() + long(scan + (good.size() - scan) / 2)),
         damaged + msg::kJpegWhyDataEnds},
        {"bytes before the end marker", extra, damaged + msg::kJpegWhyExtraBytes},
        {"hierarchical frame", with(std::size_t(sof) + 1, {0xC5}), unreadable + msg::kJpegWhyUnsupported},
        {"no height (DNL)", with(std::size_t(sof) + 5, {0, 0}), unreadable + msg::kJpegWhyUnsupported},
        {"wider than 65500", with(std::size_t(sof) + 7, {0xFF, 0xFF}), msg::kJpegTooLarge},
        {"marker length 1", with(std::size_t(sof) + 2, {0, 1}), unreadable + msg::kJpegWhyMarkers},
        {"sampling factors 0", with(std::size_t(sof) + 11, {0}), unreadable + msg::kJpegWhyHeader},
    };
    for (const auto& r : rows) {
        const FileError e = DecodeFailure(r.bytes, "photo.jpg");
        EXPECT_EQ(e.path(), "photo.jpg") << r.what;
        EXPECT_EQ(e.problem(), r.says) << r.what;
    }
}

TEST(JpegDecoder, CutShortOrDamagedScanDataIsAnErrorNotAGreyPicture) {
    const Bytes good = NoisyJpeg();
    const std::size_t scan = ScanDataStart(good);
    ASSERT_LT(scan + 100, good.size());

    Bytes cut(good.begin(), good.begin() + long(scan + (good.size() - scan) / 2));
    const FileError truncated = DecodeFailure(cut, "cut.jpg");
    EXPECT_EQ(truncated.path(), "cut.jpg");
    EXPECT_EQ(truncated.problem().rfind(msg::kJpegDamaged, 0), 0u) << truncated.what();

    // Inverting a run of entropy-coded bytes throws the Huffman decoder out of step: it meets
    // invalid codes, a marker too early, or leftover bytes before the end marker. (The format
    // has no checksum, so damage that keeps the codes valid cannot be seen; these runs are
    // ones the decoder must notice.)
    for (std::size_t at : {scan + 10, scan + (good.size() - scan) / 2, good.size() - 40}) {
        SCOPED_TRACE("damage at byte " + std::to_string(at));
        Bytes bad = good;
        for (std::size_t i = at; i < at + 16; ++i) bad[i] ^= 0xFF;
        const FileError e = DecodeFailure(bad, "flipped.jpg");
        EXPECT_EQ(e.path(), "flipped.jpg");
        EXPECT_EQ(e.problem().rfind(msg::kJpegDamaged, 0), 0u) << e.what();
    }
}

TEST(JpegDecoder, MissingEndMarkerOrBytesAfterItStillGiveThePicture) {
    const Bytes good = NoisyJpeg();
    ASSERT_EQ(good[good.size() - 2], 0xFF);
    ASSERT_EQ(good[good.size() - 1], 0xD9);
    const Raster expected = DecodeJpeg(good, "good.jpg");
    EXPECT_EQ(DecodeJpeg(Bytes(good.begin(), good.end() - 2), "noend.jpg"), expected);
    Bytes trailing = good;
    trailing.insert(trailing.end(), {'t', 'a', 'i', 'l'});  // some cameras append data
    EXPECT_EQ(DecodeJpeg(trailing, "trailing.jpg"), expected);
}

TEST(JpegDecoder, HeaderPromisingAHugeImageFailsFast) {
    Bytes jpeg = EncodeJpeg(Gradient(8, 8));
    const long sof = FindHeaderMarker(jpeg, 0xC0);
    ASSERT_GE(sof, 0);
    const auto setSize = [&](unsigned w, unsigned h) {
        Bytes b = jpeg;
        b[std::size_t(sof) + 5] = std::uint8_t(h >> 8);  // marker, length, precision, height, width
        b[std::size_t(sof) + 6] = std::uint8_t(h);
        b[std::size_t(sof) + 7] = std::uint8_t(w >> 8);
        b[std::size_t(sof) + 8] = std::uint8_t(w);
        return b;
    };
    // 60000 x 60000 would need 10.8 GB; the data for one block row is all there is.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecodeFailure(setSize(60000, 60000), "huge.jpg").problem().rfind(msg::kJpegDamaged, 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Over the library's 65500-pixel limit, and zero, are refused from the header.
    DecodeFailure(setSize(65535, 8), "wide.jpg");
    DecodeFailure(setSize(8, 0), "flat.jpg");
}

// Address-space limits and AddressSanitizer's shadow memory exclude each other, so this check
// is built only without it (and only where setrlimit exists).
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
// In a child process: limits the address space to 4 GB, decodes, and exits with 0 after
// writing the error message, or with 2 when the decoder accepts the input.
[[noreturn]] void DecodeUnderFourGigabytes(const Bytes& jpeg, const std::string& name) {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t(4) << 30;
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    try {
        DecodeJpeg(jpeg, name);
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        std::_Exit(0);
    }
    std::_Exit(2);
}

// Found by fuzzing: a 430-byte file whose header promised 65496 x 65281 pixels made the decoder
// reserve all 12.8 GB before decoding a row, so that under an address-space limit a damaged file
// was reported as a want of memory (and elsewhere tied up gigabytes for nothing). In a child
// process limited to 4 GB, a header promising 65000 x 65000 pixels (12.7 GB) in a short file
// must still be reported as damaged data.
TEST(JpegDecoderDeathTest, HugeHeaderInShortFileIsReportedAsDamagedUnderAMemoryLimit) {
    Bytes huge = EncodeJpeg(Gradient(8, 8));
    const long sof = FindHeaderMarker(huge, 0xC0);
    ASSERT_GE(sof, 0);
    for (int k : {5, 7}) {  // height, then width, after marker, length and precision
        huge[std::size_t(sof) + k] = std::uint8_t(65000 >> 8);
        huge[std::size_t(sof) + k + 1] = std::uint8_t(65000 & 0xFF);
    }
    EXPECT_EXIT(DecodeUnderFourGigabytes(huge, "huge.jpg"),
                testing::ExitedWithCode(0), std::string("huge.jpg: ") + msg::kJpegDamaged);
}
#endif

TEST(JpegFile, ReadsFromDiskAndNamesTheFileInErrors) {
    test::TempDir dir;
    const Raster original = Gradient(9, 7);
    const Bytes jpeg = EncodeJpeg(original);
    test::WriteBytes(dir.file("star.jpg"), jpeg);
    EXPECT_EQ(ReadJpeg(dir.file("star.jpg")), DecodeJpeg(jpeg, "memory"));

    test::WriteBytes(dir.file("cut.jpg"), Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)));
    try {
        ReadJpeg(dir.file("cut.jpg"));
        FAIL() << "a cut-short file was read";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), dir.file("cut.jpg"));
        EXPECT_EQ(std::string(e.what()).rfind(dir.file("cut.jpg") + ": ", 0), 0u) << e.what();
    }
    EXPECT_THROW(ReadJpeg(dir.file("missing.jpg")), FileError);
}

}  // namespace
}  // namespace nuvak
