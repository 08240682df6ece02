#include <gtest/gtest.h>

#include <cmath>

#include "core/display.h"
#include "core/error.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/open.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::FitsBuilder;
using test::Stored;

OpenedFits Open(const Bytes& bytes, const std::string& name = "/data/night/m42.fits") {
    MemorySource src(name, bytes);
    return OpenFitsDocument(src);
}

Bytes ExampleFrame() { return test::LevelExampleFrame(); }

TEST(FitsDocument, LevelsFromTheSampleGridAndTheDisplay) {
    const OpenedFits f = Open(ExampleFrame());
    const ImageDocument& d = f.document;
    // Grid mean 1200 and minimum 1000 give the upper level (1200 - 1000) * 2 + 1000 = 1400.
    EXPECT_EQ(d.MIN, 1000);
    EXPECT_EQ(d.MAX, 1400);
    EXPECT_EQ(d.Minimum, 1000);
    ASSERT_TRUE(d.Average.has_value());
    EXPECT_EQ(*d.Average, 1200.0);
    EXPECT_EQ(f.bzero, 32768);
    EXPECT_EQ(f.cards, 36);

    EXPECT_EQ(d.kind(), ImageKind::Mono16);
    EXPECT_EQ(d.DemX, 100);
    EXPECT_EQ(d.DemY, 100);
    EXPECT_EQ(d.ColN, 1);
    EXPECT_EQ(d.ZomN, 1.0);
    EXPECT_EQ(d.UndoFlg, 0);
    EXPECT_EQ(d.caption, "m42.fits");

    // 1200 shows as trunc(200 / (400 / 255)) = 127; below the lower level black, above white.
    EXPECT_EQ(d.Image.colour(50, 51), 127u * 65536 + 127 * 256 + 127);
    EXPECT_EQ(d.Image.colour(5, 7), 0u);
    EXPECT_EQ(d.Image.colour(95, 3), 0xFFFFFFu);
    // The byte planes hold v mod 256 and v div 256 in the blue byte.
    EXPECT_EQ(d.ImageZm.colour(95, 3), std::uint32_t(2000 % 256) << 16);
    EXPECT_EQ(d.ImageZm2.colour(95, 3), std::uint32_t(2000 / 256) << 16);
    EXPECT_EQ(d.sample(5, 7), 900);
    EXPECT_EQ(d.sample(50, 51), 1200);
    EXPECT_TRUE(d.Image1.empty());
}

TEST(FitsDocument, HighAndLowBytesMakeTheSample) {
    FitsBuilder b = FitsBuilder::Image16(30, 30, "0").samples(30, 30, [](int x, int y) {
        return std::uint16_t(x == 3 && y == 4 ? 0x1234 : 1000 + x + 30 * y);
    });
    const ImageDocument d = Open(b.bytes()).document;
    EXPECT_EQ(d.ImageZm2.pixel(3, 4)[0], 0x12);
    EXPECT_EQ(d.ImageZm.pixel(3, 4)[0], 0x34);
    EXPECT_EQ(d.sample(3, 4), 4660);
}

TEST(FitsDocument, NoDisplayForTinyOrFlatImages) {
    struct Row {
        std::string what;
        Bytes bytes;
        std::string says;
    } rows[] = {
        {"20 pixels wide", FitsBuilder::Image16(20, 50).bytes(), FillMessage(msg::kOpenGridEmpty, 20, 50)},
        {"20 pixels high", FitsBuilder::Image16(50, 20).bytes(), FillMessage(msg::kOpenGridEmpty, 50, 20)},
        {"flat", FitsBuilder::Image16(40, 40).samples(40, 40, [](int, int) { return Stored(500); }).bytes(),
         FillMessage(msg::kOpenFlat, 500)},
    };
    for (const auto& r : rows) {
        try {
            Open(r.bytes, "flat.fits");
            ADD_FAILURE() << r.what << " opened";
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), "flat.fits: " + r.says) << r.what;
        }
    }
    // 21 pixels give a grid of one sample per axis: it opens as long as the levels differ.
    const Bytes one = FitsBuilder::Image16(21, 21).samples(21, 21, [](int x, int y) {
        return Stored(x == 10 && y == 10 ? 100 : 5000);
    }).bytes();
    EXPECT_THROW(Open(one), FileError);  // the only grid sample is its own mean
}

TEST(FitsDocument, AverageIsKeptInGeneralDecimalForm) {
    // Grid x = 10, 14, 18 on row 10 holds 1000, 1000 and 1002: the mean 1000 + 2/3 cannot be
    // held exactly and reads back as 15 significant digits; M = trunc(4/3 + 1000) = 1001.
    const int w = 30, h = 22;
    const Bytes c = FitsBuilder::Image16(w, h).samples(w, h, [](int x, int y) {
        return Stored(x == 18 && y == 10 ? 1002 : 1000);
    }).bytes();
    const ImageDocument d = Open(c).document;
    EXPECT_EQ(FormatGeneral(*d.Average), "1000.66666666667");
    EXPECT_EQ(*d.Average, 1000.66666666667);
    EXPECT_EQ(d.MAX, 1001);
}

TEST(Mono16Render, LevelsMapThroughExtendedPrecision) {
    const ImageDocument d = Open(ExampleFrame()).document;
    const Raster same = RenderMono16(d.ImageZm, d.ImageZm2, 1400, 1000);
    EXPECT_EQ(same.colour(50, 51), 127u * 0x010101);
    EXPECT_EQ(same.colour(5, 7), 0u);
    EXPECT_EQ(same.colour(95, 3), 0xFFFFFFu);

    const Raster wide = RenderMono16(d.ImageZm, d.ImageZm2, 2000, 0);  // 1200 / (2000 / 255) = 153
    EXPECT_EQ(wide.pixel(50, 51)[0], 153);
    EXPECT_EQ(wide.pixel(95, 3)[0], 255);  // 2000 maps to 255 exactly

    // Levels given the wrong way round invert the picture: (1200 - 1400) / (-400 / 255) = 127.5.
    const Raster inverted = RenderMono16(d.ImageZm, d.ImageZm2, 1000, 1400);
    EXPECT_EQ(inverted.pixel(50, 51)[0], 127);
    EXPECT_EQ(inverted.pixel(5, 7)[0], 255);
    EXPECT_EQ(inverted.pixel(95, 3)[0], 0);
    try {
        RenderMono16(d.ImageZm, d.ImageZm2, 1200, 1200);
        ADD_FAILURE() << "equal levels rendered";
    } catch (const ImageError& e) {
        EXPECT_STREQ(e.what(), msg::kDisplayLevelsEqual);
    }
}

TEST(Mono16Render, MatchesThePerPixelFormulaOnEveryValue) {
    // All 65536 sample values in a 256 x 256 picture, against the formula evaluated directly.
    Raster low(256, 256), high(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            low.pixel(x, y)[0] = std::uint8_t(x);
            high.pixel(x, y)[0] = std::uint8_t(y);
        }
    for (auto [hi, lo] : {std::pair{2000, 1000}, {65535, 0}, {3, 1}, {40000, -300}}) {
        const Raster out = RenderMono16(low, high, hi, lo);
        const double s = (hi - lo) * (1.0 / 255);
        for (int v = 0; v < 65536; ++v) {
            long double d = std::trunc(static_cast<long double>(v - lo) / s);
            const int want = d >= 256 ? 255 : d < 0 ? 0 : int(d);
            ASSERT_EQ(out.pixel(v % 256, v / 256)[1], want) << "v " << v << " levels " << hi << "/" << lo;
        }
    }
}

TEST(ColourDocuments, BmpAndJpegDifferInColNAndTheHighPlane) {
    Raster r(3, 2);
    r.pixel(1, 1)[2] = 7;
    const ImageDocument bmp = DocumentFromColourRaster(r, "/x/pic.bmp", FileKind::Bmp);
    EXPECT_EQ(bmp.kind(), ImageKind::Colour);
    EXPECT_EQ(bmp.ColN, 3);
    EXPECT_EQ(bmp.ImageZm2.width, 3);
    EXPECT_EQ(bmp.ImageZm, r);
    EXPECT_EQ(bmp.Image, r);
    EXPECT_EQ(bmp.caption, "pic.bmp");
    const ImageDocument jpg = DocumentFromColourRaster(r, "pic.jpg", FileKind::Jpeg);
    EXPECT_EQ(jpg.ColN, 1);
    EXPECT_TRUE(jpg.ImageZm2.empty());
    EXPECT_EQ(jpg.MAX, 255);
    EXPECT_EQ(jpg.MIN, 0);
}

TEST(ColourDocuments, NetpbmEntryKeepsTheChildCaption) {
    const Bytes bytes = test::BytesOf("P6\n2 1\n255\n");
    Bytes all = bytes;
    for (int v : {10, 20, 30, 40, 50, 60}) all.push_back(std::uint8_t(v));
    MemorySource src("/x/two.pgm", all);
    const ImageDocument d = OpenPgmDocument(src);
    EXPECT_EQ(d.kind(), ImageKind::PgmColour);
    EXPECT_EQ(d.caption, "Child");
    EXPECT_EQ(d.ColN, 1);
    // Red 10, green 20, blue 30 sits in memory as 30, 20, 10.
    EXPECT_EQ(d.Image.pixel(0, 0)[0], 30);
    EXPECT_EQ(d.Image.pixel(0, 0)[2], 10);
    EXPECT_EQ(d.Image.colour(1, 0), 60u * 65536 + 50 * 256 + 40);
    EXPECT_EQ(d.ImageZm, d.Image);
}

TEST(ColourDocuments, AnUnfilledDocumentHasNoKind) {
    ImageDocument d;
    EXPECT_EQ(d.caption, "Child");
    EXPECT_EQ(d.MAX, 255);
    EXPECT_EQ(d.Contrast, 1.0);
    EXPECT_THROW(d.kind(), ConversionError);
}

TEST(FileKinds, ExtensionsChooseTheReader) {
    EXPECT_EQ(FileKindOfExtension("a.BMP"), 1);
    EXPECT_EQ(FileKindOfExtension("a.fit"), 2);
    EXPECT_EQ(FileKindOfExtension("a.Fts"), 2);
    EXPECT_EQ(FileKindOfExtension("dir.fits/a"), 0);
    EXPECT_EQ(FileKindOfExtension("a.jpeg"), 3);
    EXPECT_EQ(FileKindOfExtension("a.pgm"), 4);
    EXPECT_EQ(FileKindOfExtension("a.png"), 0);
}

}  // namespace
}  // namespace nuvak
