// Damaged and foreign files, each given to "info" and "render": a clear refusal naming the
// file, quickly, within a 4 GB address space, leaving nothing behind and any old output intact.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/bmp.h"
#include "core/format.h"
#include "core/jpeg.h"
#include "resources/messages.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::FitsBuilder;
using test::FitsCard;

struct Damage {
    std::string what;     // the kind of damage, for failure messages
    std::string name;     // the file name, whose extension chooses the reader
    Bytes bytes;          // the file's content (unused for a folder)
    std::string says;     // the problem as the message states it after the file name, or its start
    bool folder = false;  // a folder under the file name instead of a file
};

// The fixed start of a message pattern, up to its first value.
std::string lead(std::string_view pattern) { return std::string(pattern.substr(0, pattern.find("{}"))); }

Bytes cut(Bytes b, std::size_t keep) {
    b.resize(keep);
    return b;
}

Bytes fitsWith(const std::string& key, const std::string& value) {
    FitsBuilder b = FitsBuilder::Image16(32, 32);
    for (auto& c : b.cards)
        if (c.rfind(key, 0) == 0) c = FitsCard(key, value);
    return b.bytes();
}

// A tile-compressed (GZIP) frame as the general FITS library writes it.
Bytes compressedFrame() {
    test::TempDir dir;
    const std::string path = dir.file("frame.fits.fz");
    std::vector<double> v(64 * 48);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = double(1000 + (i * 37) % 20000);
    test::LibraryFits layout;
    layout.bzero = 32768;
    layout.compression = "GZIP";
    test::WriteLibraryFits(path, layout, 64, 48, v);
    return test::ReadBytes(path);
}

std::vector<Damage> catalogue() {
    const Bytes frame = test::LevelExampleFrame();
    Bytes noEnd(2880 * 3, ' ');
    const std::string simple = FitsCard("SIMPLE", "T");
    std::copy(simple.begin(), simple.end(), noEnd.begin());
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 1, 0};
    Raster r(40, 30);
    for (std::size_t i = 0; i < r.bytes.size(); ++i) r.bytes[i] = std::uint8_t(i * 7);
    const Bytes bmp = EncodeBmp(r);
    Bytes jpeg = EncodeJpeg(r);
    for (std::size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 24; ++i) jpeg[i] = std::uint8_t(~jpeg[i]);
    Bytes greyUnderColour = test::BytesOf("P6\n40 30\n255\n");
    greyUnderColour.resize(greyUnderColour.size() + 40 * 30, 128);  // one byte per pixel, three promised

    const Bytes compressed = compressedFrame();
    Bytes scrambled = compressed;  // the compressed tiles, after the three header blocks
    for (std::size_t i = 3 * 2880 + 1024; i < 3 * 2880 + 1224; ++i) scrambled[i] ^= 0x5A;

    return {
        {"empty FITS", "empty.fits", {}, msg::kFitsShorterThanBlock},
        {"truncated header", "header.fits", cut(frame, 1500), msg::kFitsShorterThanBlock},
        {"no END card", "noend.fits", noEnd, msg::kFitsNoEnd},
        {"truncated samples", "samples.fits", cut(frame, frame.size() - 5000), lead(msg::kFitsTruncated)},
        {"absurd NAXIS", "naxis.fits", fitsWith("NAXIS1", "99999999"),
         FillMessage(msg::kFitsTooLarge, 99999999, 32, 16000)},
        {"float samples cut short", "float.fits", fitsWith("BITPIX", "-32"), msg::kFitsLibTruncated},
        {"compressed tiles damaged", "damaged.fits.fz", scrambled, msg::kFitsLibDecompress},
        {"compressed file cut short", "cut.fits.fz", cut(compressed, compressed.size() * 6 / 10),
         msg::kFitsLibTruncated},
        {"PNG named .fits.fz", "picture.fits.fz", png, msg::kFitsShorterThanBlock},
        {"PNG named .fits", "picture.fits", png, msg::kFitsShorterThanBlock},
        {"folder named .fits", "folder.fits", {}, msg::kIsFolder, true},
        {"huge Netpbm", "huge.pgm", test::BytesOf("P6\n16001 16001\n255\n"),
         FillMessage(msg::kPgmSizeTooLarge, msg::kPgmWidth, "16001", 16000)},
        {"negative Netpbm", "negative.pgm", test::BytesOf("P6\n-5 10\n255\n"),
         FillMessage(msg::kPgmSizeTooSmall, msg::kPgmWidth, "-5")},
        {"one byte per pixel under P6", "grey.pgm", greyUnderColour, FillMessage(msg::kPgmTruncated, 1200, 3600)},
        {"truncated BMP", "cut.bmp", cut(bmp, bmp.size() / 2), lead(msg::kBmpTruncated)},
        {"corrupt JPEG", "corrupt.jpg", jpeg, msg::kJpegDamaged},
    };
}

class BadInput : public ::testing::Test {
protected:
    test::TempDir inputs, work, outputs;
    test::RunResult cli(const std::vector<std::string>& args) {
        // The working folder is empty and must stay so; 4 GB of address space, 10 seconds.
        return test::RunLimited(NUVAK_CLI_PATH, args, {work.path().string(), 4ull << 20, 10});
    }
};

TEST_F(BadInput, EveryDamageIsRefusedCleanly) {
    const std::string keep = outputs.file("keep.bmp");
    test::WriteBytes(keep, test::BytesOf("an older picture"));
    for (const Damage& d : catalogue()) {
        const std::string path = inputs.file(d.name);
        if (d.folder) {
            std::filesystem::create_directory(path);
        } else {
            test::WriteBytes(path, d.bytes);
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"info", path}, std::vector<std::string>{"render", path, keep},
              std::vector<std::string>{"render", path, outputs.file("new.jpg")}}) {
            const test::RunResult r = cli(args);
            EXPECT_EQ(r.status, 1) << d.what << " (" << args[0] << "): " << r.err;
            EXPECT_EQ(r.out, "") << d.what;
            EXPECT_EQ(r.err.rfind("nuvak-cli: " + path + ": " + d.says, 0), 0u) << d.what << ": " << r.err;
        }
        EXPECT_TRUE(work.entries().empty()) << d.what << " left files in the working folder";
        EXPECT_EQ(outputs.entries(), std::vector<std::string>{"keep.bmp"}) << d.what;
        EXPECT_EQ(test::ReadBytes(keep), test::BytesOf("an older picture")) << d.what;
    }
}

TEST_F(BadInput, ADamagedProjectFileKeepsTheOldPicture) {
    // A count far beyond what the file holds: refused at the missing path, nothing reserved.
    const std::string project = inputs.file("cut.mvl");
    test::WriteBytes(project,
                     test::BytesOf("MORVEL-2 File Data of RGB composite\r\n2147483647 Red File(s)\r\n/r.fits\r\n"));
    const std::string keep = outputs.file("keep.bmp");
    test::WriteBytes(keep, test::BytesOf("an older picture"));
    const test::RunResult r = cli({"rgb", project, keep});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("nuvak-cli: " + project + ": ", 0), 0u) << r.err;
    EXPECT_TRUE(work.entries().empty());
    EXPECT_EQ(test::ReadBytes(keep), test::BytesOf("an older picture"));
}

TEST_F(BadInput, AHeaderPromisingMoreThanTheFileHoldsTakesNoMemory) {
    // 16000 x 16000 samples promised by a 2880-byte file, in an address space far smaller
    // than those samples would need (about 1 GB as 32-bit values): refused before allocating.
    FitsBuilder b = FitsBuilder::Header16(16000, 16000);
    const std::string path = inputs.file("promise.fits");
    test::WriteBytes(path, b.bytes());
    const test::RunResult r =
        test::RunLimited(NUVAK_CLI_PATH, {"info", path}, {work.path().string(), 256ull << 10, 10});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(path + ": " + lead(msg::kFitsTruncated)), std::string::npos) << r.err;
}

}  // namespace
}  // namespace nuvak
