#include <gtest/gtest.h>

#include "core/bmp.h"
#include "core/error.h"
#include "core/image_files.h"
#include "core/jpeg.h"
#include "tests/support/fits_files.h"

namespace nuvak {
namespace {

using test::Bytes;

TEST(SaveNames, TheEntryDecidesTheExtension) {
    EXPECT_EQ(DisplayFileName("/n/m42.jpg", DisplayFormat::Bmp), "/n/m42.bmp");
    EXPECT_EQ(DisplayFileName("/n/m42", DisplayFormat::Bmp), "/n/m42.bmp");
    EXPECT_EQ(DisplayFileName("/n/m42.bmp", DisplayFormat::Jpeg), "/n/m42.jpg");
    EXPECT_EQ(DisplayFileName("/n/m42.jpeg", DisplayFormat::Jpeg), "/n/m42.jpg");
    EXPECT_EQ(DisplayFileName("/n.d/m42", DisplayFormat::Jpeg), "/n.d/m42.jpg");
}

class ImageFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string fits() {
        std::string path = dir.file("m42.fits");
        test::WriteBytes(path, test::LevelExampleFrame());
        return path;
    }
};

TEST_F(ImageFiles, EveryKindOpensThroughOneEntry) {
    const OpenedDocument f = OpenImageFile(fits(), FileKind::Fits);
    EXPECT_EQ(f.document.kind(), ImageKind::Mono16);
    EXPECT_EQ(f.cards, 36);
    EXPECT_EQ(f.bzero, 32768);

    Raster r(4, 2);
    r.pixel(3, 1)[1] = 0;
    test::WriteBytes(dir.file("a.bmp"), EncodeBmp(r));
    const OpenedDocument b = OpenImageFile(dir.file("a.bmp"), FileKind::Bmp);
    EXPECT_EQ(b.document.Image, r);
    EXPECT_EQ(b.document.ColN, 3);
    EXPECT_FALSE(b.cards.has_value());

    test::WriteBytes(dir.file("a.jpg"), EncodeJpeg(r));
    EXPECT_EQ(OpenImageFile(dir.file("a.jpg"), FileKind::Jpeg).document.DemX, 4);
    // A BMP read as FITS is refused with the FITS reader's message.
    EXPECT_THROW(OpenImageFile(dir.file("a.bmp"), FileKind::Fits), FileError);
}

TEST_F(ImageFiles, SavingAMonochromeWindowWritesItsDisplay) {
    const ImageDocument d = OpenImageFile(fits(), FileKind::Fits).document;
    const std::string out = dir.file("shown.bmp");
    WriteDisplay(d, out, DisplayFormat::Bmp);
    const Raster back = LoadBmp(out);
    EXPECT_EQ(back, d.Image);
    EXPECT_EQ(back.pixel(50, 51)[0], 127);  // the 8-bit display value, not the sample 1200
}

TEST_F(ImageFiles, AFailedSaveKeepsTheOldFile) {
    const std::string out = dir.file("keep.jpg");
    test::WriteBytes(out, test::BytesOf("an older picture"));
    ImageDocument empty;  // nothing to show: encoding fails before any byte is written
    EXPECT_ANY_THROW(WriteDisplay(empty, out, DisplayFormat::Jpeg));
    EXPECT_ANY_THROW(WriteDisplay(empty, out, DisplayFormat::Bmp));
    EXPECT_EQ(test::ReadBytes(out), test::BytesOf("an older picture"));
    EXPECT_THROW(WriteDisplay(OpenImageFile(fits(), FileKind::Fits).document, dir.path().string(), DisplayFormat::Bmp),
                 FileError);  // a folder is no file to write
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"keep.jpg", "m42.fits"}));
}

}  // namespace
}  // namespace nuvak
