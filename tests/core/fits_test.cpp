#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/error.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/simd.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::FitsBuilder;
using test::FitsCard;
using test::FitsRawCard;

FitsHeader HeaderOf(const Bytes& bytes) {
    MemorySource src("mem.fits", bytes);
    return ReadFitsHeader(src);
}

// The message of the FileError that reading bytes raises, or "" when none is raised.
std::string ReadError(const Bytes& bytes) {
    MemorySource src("bad.fits", bytes);
    try {
        LoadFits(src);
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), "bad.fits");
        return e.what();
    }
    return "";
}

// A small image whose stored samples differ everywhere: 1000 * x + y.
FitsBuilder Numbered(int w, int h) {
    return FitsBuilder::Image16(w, h, "0").samples(w, h, [](int x, int y) { return std::uint16_t(1000 * x + y); });
}

TEST(FitsHeaderBlocks, EndDecidesWhereTheSamplesStart) {
    struct Row {
        int endCard;
        int cards;
    } rows[] = {{20, 36}, {35, 36}, {36, 72}, {40, 72}, {71, 72}, {80, 108}, {200, 216}};
    for (const auto& r : rows) {
        FitsBuilder b = Numbered(3, 2).endAt(r.endCard);
        const Bytes bytes = b.bytes();
        MemorySource src("m.fits", bytes);
        IntArray2D p(3, 2);
        const FitsHeader h = ReadFits(src, p);
        EXPECT_EQ(h.cards, r.cards) << "END as card " << r.endCard;
        EXPECT_EQ(h.dataOffset(), std::uint64_t(r.cards) * 80);
        EXPECT_EQ(h.cardText.size(), std::size_t(r.cards) * 80);
        EXPECT_EQ(p[2][1], 2001) << "END as card " << r.endCard;
    }
}

TEST(FitsHeaderBlocks, AnyCardBeginningWithEndEndsTheHeader) {
    FitsBuilder b = Numbered(2, 2);
    b.card("ENDOFTHEWORLD = 5").card(FitsCard("NAXIS1", "999"));
    const Bytes bytes = b.bytes();
    const FitsHeader h = HeaderOf(bytes);
    EXPECT_EQ(h.width, 2);  // the NAXIS1 after the early END is padding
    EXPECT_EQ(h.cards, 36);
}

TEST(FitsHeaderValues, WholeIntegersFromTheValueField) {
    struct Row {
        std::string card;
        int width;
    } rows[] = {
        {FitsCard("NAXIS1", "765"), 765},
        {FitsCard("NAXIS1", "12000"), 12000},  // five digits read whole
        {FitsRawCard("NAXIS1  = 42"), 42},     // free format
        {FitsRawCard("NAXIS1  =                  +7 / signed"), 7},
    };
    for (const auto& r : rows) {
        FitsBuilder b;
        b.cards = {FitsCard("SIMPLE", "T"), FitsCard("BITPIX", "16"), r.card, FitsCard("NAXIS2", "1")};
        b.data.assign(std::size_t(r.width) * 2, 0);
        EXPECT_EQ(HeaderOf(b.bytes()).width, r.width) << r.card;
    }
}

TEST(FitsHeaderValues, RepeatedKeywordCountsOnce) {
    FitsBuilder b = Numbered(4, 3);
    b.card(FitsCard("NAXIS1", "4")).card(FitsCard("NAXIS2", "9")).card(FitsCard("BZERO", "77"));
    const FitsHeader h = HeaderOf(b.bytes());
    EXPECT_EQ(h.width, 4);
    EXPECT_EQ(h.height, 3);
    EXPECT_EQ(h.bzero, 0);
}

TEST(FitsHeaderValues, BzeroCardValueIsTheReaderZeroOffset) {
    EXPECT_EQ(HeaderOf(FitsBuilder::Image16(2, 2, "32768").bytes()).bzero, 32768);
    EXPECT_EQ(HeaderOf(FitsBuilder::Image16(2, 2, "3.2768D4").bytes()).bzero, 32768);
    EXPECT_EQ(HeaderOf(FitsBuilder::Image16(2, 2, "-1.9").bytes()).bzero, -1);
    EXPECT_EQ(HeaderOf(FitsBuilder::Image16(2, 2, "").bytes()).bzero, 0);
}

TEST(FitsTokenScan, FindsBzeroEqualsNumber) {
    const std::string name = "t.fits";
    auto scan = [&](const std::string& text) { return ScanBzero(text, name); };
    EXPECT_EQ(scan("SIMPLE = T BZERO = 32768 / offset"), 32768);
    EXPECT_EQ(scan("BZERO = 32768.7"), 32768);  // truncated toward zero
    EXPECT_EQ(scan("BZERO = -5.9"), -5);
    EXPECT_EQ(scan("BZERO\n=\n100/x"), 100);  // line ends separate words; the number's prefix counts
    EXPECT_EQ(scan("BZERO =   +12"), 12);
    EXPECT_EQ(scan("BZERO=100"), std::nullopt);          // one word, not three
    EXPECT_EQ(scan("BZERO BZERO = 5"), std::nullopt);    // the word after BZERO is consumed
    EXPECT_EQ(scan("HISTORY BZERO = 7 BZERO = 9"), 7);  // the first match wins
    EXPECT_EQ(scan("BZERO ="), std::nullopt);
    EXPECT_EQ(scan(""), std::nullopt);
}

TEST(FitsTokenScan, RefusesNumbersThatAreNotThirtyTwoBitIntegers) {
    for (const std::string word : {"NAN", "nan", "inf", "1E30", "-3000000000", "'abc'", "=", "2147483648"}) {
        try {
            ScanBzero("BZERO = " + word, "odd.fits");
            ADD_FAILURE() << "accepted " << word;
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("odd.fits"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("BZERO"), std::string::npos);
        }
    }
    EXPECT_EQ(ScanBzero("BZERO = 2147483647.9", "ok.fits"), 2147483647);
}

TEST(FitsReaders, ZeroOffsetByScanOrByCard) {
    // The card says 100 in a form the scan does not see; a HISTORY line gives the scan 32768.
    FitsBuilder b = FitsBuilder::Image16(2, 1, "100");
    b.card("HISTORY BZERO = 32768");
    b.samples(2, 1, [](int x, int) { return std::uint16_t(x ? 0x7FFF : 0x8000); });
    const Bytes bytes = b.bytes();
    MemorySource src("z.fits", bytes);
    IntArray2D p(2, 1);
    EXPECT_EQ(ReadFits(src, p).bzero, 100);
    const FitsHeader h = ReadFitsBzero(src, p);
    EXPECT_EQ(h.bzero, 100);  // "BZERO   =" then the value: the card's own words come first
    EXPECT_EQ(p[0][0], 0x8000);
    EXPECT_EQ(p[1][0], 0x7FFF);

    // Without "BZERO = number" in the first block the card's value stays.
    FitsBuilder c = FitsBuilder::Image16(2, 1, "");
    c.card("BZERO   =32768");  // a free-format value the word scan does not take apart
    const Bytes cb = c.bytes();
    MemorySource csrc("c.fits", cb);
    EXPECT_EQ(ReadFitsBzero(csrc, p).bzero, 32768);
}

TEST(FitsReaders, ApplyBzeroTurnsStoredSignedSamplesIntoSixteenBits) {
    IntArray2D p(4, 1);
    p[0][0] = 0x8000;  // stored -32768
    p[1][0] = 0x7FFF;  // stored 32767
    p[2][0] = 0;       // stored 0
    p[3][0] = 0xFFFF;  // stored -1
    ApplyBzero(32768, 4, 1, p);
    EXPECT_EQ(p[0][0], 0);
    EXPECT_EQ(p[1][0], 65535);
    EXPECT_EQ(p[2][0], 32768);
    EXPECT_EQ(p[3][0], 32767);

    IntArray2D q(1, 1);
    q[0][0] = 1234;
    ApplyBzero(0, 1, 1, q);
    EXPECT_EQ(q[0][0], 1234);
    ApplyBzero(2147483647, 1, 1, q);  // 1234 + Z leaves 32 bits: saturates, no overflow
    EXPECT_EQ(q[0][0], 2147483647);
}

TEST(FitsReaders, FusedLoadEqualsReadThenApply) {
    struct Size {
        int w, h;
    };
    // 67 x 133 leaves partial blocks of eight columns and four rows; 4001 x 303 also
    // spreads over three bands of rows (about a megabyte each), the last one partial.
    // Eight columns of four rows go through vectors where the processor has them: every path.
    for (const simd::Path path : simd::Available())
    for (const auto [w, h] : {Size{67, 133}, Size{4001, 303}})
    for (const std::string z : {"0", "32768", "1000", "-32768", "2147483000", "-2147483000"}) {
        const simd::Narrow only(path);
        FitsBuilder b = FitsBuilder::Image16(w, h, z).samples(w, h, [](int x, int y) {
            return std::uint16_t(x * 977 + y * 131 + x * y);
        });
        const Bytes bytes = b.bytes();
        MemorySource src("f.fits", bytes);
        IntArray2D p(w, h);
        const FitsHeader hd = ReadFitsBzero(src, p);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(p[x][y], std::uint16_t(x * 977 + y * 131 + x * y));
        ApplyBzero(hd.bzero, w, h, p);
        const FitsImage img = LoadFits(src);
        EXPECT_EQ(img.header.bzero, hd.bzero);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) ASSERT_EQ(img.samples[x][y], p[x][y]) << "Z " << z << " at " << x << "," << y;
    }
}

TEST(FitsReaders, ThirdAxisPlanesBeyondTheFirstAreIgnored) {
    FitsBuilder b = Numbered(3, 2);
    b.card(FitsCard("NAXIS3", "3"));  // only one plane's bytes follow
    const Bytes bytes = b.bytes(false);
    MemorySource src("cube.fits", bytes);
    EXPECT_EQ(LoadFits(src).samples[2][1], 2001);
}

TEST(FitsFailures, EveryDamageIsAClearErrorNamingTheFile) {
    struct Row {
        std::string what;
        Bytes bytes;
        std::string says;
    };
    Bytes truncated = Numbered(10, 10).bytes(false);
    truncated.resize(truncated.size() - 3);
    Bytes noEnd(2880 * 2, ' ');
    Bytes binary = Numbered(2, 2).bytes();
    binary[3] = 0;
    // Text files of a block and more: lines end inside the first 80 bytes.
    Bytes notes, table = test::BytesOf("SIMPLE  = T\n");
    while (notes.size() < 3000) {
        const Bytes line = test::BytesOf("M42 オリオン大星雲\t05 35 -05 23\r\n");
        notes.insert(notes.end(), line.begin(), line.end());
    }
    table.insert(table.end(), notes.begin(), notes.end());
    FitsBuilder floats = Numbered(2, 2);
    floats.cards[1] = FitsCard("BITPIX", "-32");
    FitsBuilder huge = FitsBuilder::Header16(16001, 2);
    FitsBuilder noSize;
    noSize.cards = {FitsCard("SIMPLE", "T"), FitsCard("BITPIX", "16"), FitsCard("NAXIS", "0")};
    FitsBuilder zeroWide = Numbered(2, 2);
    zeroWide.cards[3] = FitsCard("NAXIS1", "0");
    FitsBuilder words = Numbered(2, 2);
    words.cards[4] = FitsCard("NAXIS2", "'two'");
    FitsBuilder nanZero = FitsBuilder::Image16(2, 2, "NAN");
    FitsBuilder bigZero = FitsBuilder::Image16(2, 2, "1E30");

    const Row rows[] = {
        {"empty file", {}, msg::kFitsShorterThanBlock},
        {"half a block", Bytes(1000, ' '), msg::kFitsShorterThanBlock},
        {"no END card", noEnd, msg::kFitsNoEnd},
        {"binary first card", binary, msg::kFitsNotFits},
        {"text file", notes, msg::kFitsNoSimple},
        {"SIMPLE = T on a line of its own", table, msg::kFitsNotFits},
        {"truncated samples", truncated, FillMessage(msg::kFitsTruncated, 197, 200)},
        {"BITPIX -32", floats.bytes(), FillMessage(msg::kFitsBitpix, -32)},
        {"side over 16000", huge.bytes(), FillMessage(msg::kFitsTooLarge, 16001, 2, kFitsMaxSide)},
        {"no size cards", noSize.bytes(), msg::kFitsNoSize},
        {"zero width", zeroWide.bytes(), FillMessage(msg::kFitsEmptySize, 0, 2)},
        {"text size", words.bytes(), FillMessage(msg::kFitsNotWhole, "NAXIS2", "'two'")},
        {"BZERO NAN", nanZero.bytes(), FillMessage(msg::kFitsBzeroNotNumber, "NAN")},
        {"BZERO 1E30", bigZero.bytes(), FillMessage(msg::kFitsBzeroRange, "1E30")},
    };
    for (const auto& r : rows) EXPECT_EQ(ReadError(r.bytes), "bad.fits: " + r.says) << r.what;
}

TEST(FitsFailures, TooLargeAndUnopenableWriteTheirDiagnostics) {
    std::ostringstream diag;
    FitsBuilder huge = FitsBuilder::Header16(20000, 17000);
    const Bytes bytes = huge.bytes();
    MemorySource src("huge.fits", bytes);
    EXPECT_THROW(ReadFitsHeader(src, &diag), FileError);
    EXPECT_EQ(diag.str(), "20000 17000\nalloc error !!\n");

    std::ostringstream open;
    EXPECT_THROW(ReadFitsHeader("/nonexistent/frame.fits", &open), FileError);
    EXPECT_EQ(open.str(), "file open error    /nonexistent/frame.fits\n");
    try {
        LoadFits(std::filesystem::temp_directory_path().string());
        ADD_FAILURE() << "a folder was read as a FITS file";
    } catch (const FileError& e) {
        EXPECT_EQ(e.problem(), msg::kIsFolder);
    }
}

TEST(FitsFiles, ReadingLeavesTheCurrentFolderAsItWas) {
    test::TempDir dir;
    const std::string frame = dir.file("frame.fits");
    test::WriteBytes(frame, Numbered(5, 4).bytes());
    test::WriteBytes(dir.file("test.dat"), test::BytesOf("the user's own notes"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    IntArray2D p(5, 4);
    ReadFitsHeader("frame.fits");
    ReadFits("frame.fits", p);
    ReadFitsBzero("frame.fits", p);
    const FitsImage img = LoadFits("frame.fits");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(img.samples[4][3], 4003);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"frame.fits", "test.dat"}));
    EXPECT_EQ(test::ReadBytes(dir.file("test.dat")), test::BytesOf("the user's own notes"));
}

}  // namespace
}  // namespace nuvak
