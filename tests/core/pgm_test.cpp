#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/error.h"
#include "core/format.h"
#include "core/pgm.h"
#include "resources/messages.h"
#include "tests/support/files.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::BytesOf;

Bytes Pgm(const std::string& header, const Bytes& samples) {
    Bytes b = BytesOf(header);
    b.insert(b.end(), samples.begin(), samples.end());
    return b;
}

// The 2 x 1 example: pixel 0 is (10, 20, 30), pixel 1 is (40, 50, 60).
const Bytes kTwoPixels = {10, 20, 30, 40, 50, 60};

PgmColour Read(const Bytes& bytes, std::ostream* diag = nullptr) {
    MemorySource source("mem.pgm", bytes);
    return ReadPgmColour(source, diag);
}

// The problem the reader reports, or "" when it reads the bytes.
std::string ProblemOf(const Bytes& bytes) {
    try {
        Read(bytes);
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), "mem.pgm");
        return e.problem();
    }
    return "";
}

void ExpectTwoPixels(const Bytes& bytes) {
    const PgmColour img = Read(bytes);
    ASSERT_EQ(img.width, 2);
    ASSERT_EQ(img.height, 1);
    EXPECT_EQ(img.R[0][0], 10);
    EXPECT_EQ(img.G[0][0], 20);
    EXPECT_EQ(img.B[0][0], 30);
    EXPECT_EQ(img.R[1][0], 40);
    EXPECT_EQ(img.G[1][0], 50);
    EXPECT_EQ(img.B[1][0], 60);
}

TEST(PgmReader, SplitsPixelsIntoRedGreenBlueWhateverTheCommentsAndMaximum) {
    const char* headers[] = {
        "P6\n2 1\n255\n",
        "P6\n# some text\n2 1\n255\n",
        "P6\n#text\n2 1\n255\n",              // no blank after '#'
        "P6\n# one\n# two\n2 1 255\n",        // two comment lines
        "P6 2 1\n# between height and maximum\n255\n",
        "P6 2 # directly after the width's blank\n1 255\n",
        "P6#glued to the magic\n2 1 255\n",
        "P6 2 1 255# the line break ending it is the separator\n",
        "P6\r\n2\t1\v255\r",                  // every blank byte is whitespace
        "P6 2 1 0\n",                         // samples are never scaled by the maximum
        "P6 2 1 100\n",
        "XY 2 1 255\n",                       // any other magic word means three bytes
    };
    for (const char* h : headers) {
        SCOPED_TRACE(h);
        ExpectTwoPixels(Pgm(h, kTwoPixels));
    }
}

TEST(PgmReader, SeparatorIsExactlyOneByteSoBlankSamplesAreKept) {
    // Samples 10 (line feed), 32 (space) and 9 (tab) follow the single separator.
    const PgmColour img = Read(Pgm("P6 1 1 255\n", {10, 32, 9}));
    EXPECT_EQ(img.R[0][0], 10);
    EXPECT_EQ(img.G[0][0], 32);
    EXPECT_EQ(img.B[0][0], 9);
}

TEST(PgmReader, P5IsOneByteGreyCopiedToAllThreeChannels) {
    const PgmColour grey = Read(Pgm("P5 2 1 255\n", {7, 255}));
    ASSERT_EQ(grey.width, 2);
    EXPECT_EQ(grey.R[0][0], 7);
    EXPECT_EQ(grey.G[0][0], 7);
    EXPECT_EQ(grey.B[1][0], 255);
}

TEST(PgmReader, OddSizesLandAtTheirColumnAndRow) {
    // 37 x 19 crosses the 16-row blocks the reader copies in; compare with the obvious loop.
    const int w = 37, h = 19;
    Bytes samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) samples.push_back(std::uint8_t(x * 7 + y * 13 + c * 101));
    const PgmColour img = Read(Pgm("P6 37 19 255\n", samples));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t k = 3 * (std::size_t(y) * w + x);
            ASSERT_EQ(img.R[x][y], samples[k]) << x << "," << y;
            ASSERT_EQ(img.G[x][y], samples[k + 1]) << x << "," << y;
            ASSERT_EQ(img.B[x][y], samples[k + 2]) << x << "," << y;
        }
}

struct Refusal {
    const char* name;
    std::string bytes;
    std::string problem;
};

class PgmRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(PgmRefusal, NamesTheProblem) {
    EXPECT_EQ(ProblemOf(BytesOf(GetParam().bytes)), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Pgm, PgmRefusal,
    testing::Values(
        Refusal{"text_grey", "P2 2 1 255\n1 2\n", msg::kPgmGreyText},
        Refusal{"text_colour", "P3 1 1 255\n1 2 3\n", msg::kPgmColourText},
        Refusal{"text_bitmap", "P1 1 1\n1\n", msg::kPgmBitmapText},
        Refusal{"binary_bitmap", "P4 8 1\n\x01", msg::kPgmBitmapBinary},
        Refusal{"tagged_header", "P7\nWIDTH 1\n", msg::kPgmTaggedHeader},
        Refusal{"empty_file", "", msg::kPgmNoMagic},
        Refusal{"zero_width", "P6 0 1 255\n", FillMessage(msg::kPgmSizeTooSmall, msg::kPgmWidth, "0")},
        Refusal{"negative_height", "P6 1 -3 255\n", FillMessage(msg::kPgmSizeTooSmall, msg::kPgmHeight, "-3")},
        Refusal{"letters_after_digits", "P6 12abc 1 255\n", FillMessage(msg::kPgmNotNumber, msg::kPgmWidth, "12abc")},
        Refusal{"width_16001", "P6 16001 1 255\n", FillMessage(msg::kPgmSizeTooLarge, msg::kPgmWidth, "16001", 16000)},
        Refusal{"digits_beyond_any_integer", "P6 1 99999999999999999999999 255\n",
                FillMessage(msg::kPgmSizeTooLarge, msg::kPgmHeight, "99999999999999999999999", 16000)},
        Refusal{"two_byte_samples", "P6 1 1 65535\n123456",
                FillMessage(msg::kPgmMaxValueTooLarge, 65535, 255)},
        Refusal{"no_maximum", "P6 2 1\n# only a comment", FillMessage(msg::kPgmMissing, msg::kPgmMaxValue)},
        Refusal{"no_separator_no_samples", "P6 1 1 255", FillMessage(msg::kPgmTruncated, 0, 3)},
        Refusal{"one_sample_short", "P6 2 1 255\n12345", FillMessage(msg::kPgmTruncated, 5, 6)},
        Refusal{"grey_counts_one_byte", "P5 4 1 255\n12", FillMessage(msg::kPgmTruncated, 2, 4)},
        // 16000 x 16000 x 3 promised by a 20-byte file: refused from the size, nothing allocated.
        Refusal{"huge_header_tiny_file", "P6 16000 16000 255\nx", FillMessage(msg::kPgmTruncated, 1, 768000000)}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(PgmReader, FileErrorsNameTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("short.pgm");
    test::WriteBytes(path, Pgm("P6 2 1 255\n", {1, 2, 3}));
    try {
        ReadPgmColour(path);
        FAIL() << "a truncated file was read";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(std::string(e.what()), path + ": " + FillMessage(msg::kPgmTruncated, 3, 6));
    }
    EXPECT_THROW(ReadPgmColour(dir.file("missing.pgm")), FileError);
}

TEST(PgmReader, ProgressLinesWithAndWithoutComment) {
    const std::string tail =
        "2 1 6\n"
        "1 2\n"
        "opened head\n"
        "extended  unsigned char 1D \n"
        "extended\n"
        "reading ...\n";
    std::ostringstream plain;
    Read(Pgm("P6\n2 1\n255\n", kTwoPixels), &plain);
    EXPECT_EQ(plain.str(), "declared\n2 P6\n2 P6\n" + tail);

    std::ostringstream commented;
    Read(Pgm("P6\n# some text\n2 1\n255\n", kTwoPixels), &commented);
    EXPECT_EQ(commented.str(), "declared\n# P6\nsome text\nif\n# P6\nsome text\nif\n" + tail);
}

}  // namespace
}  // namespace nuvak
