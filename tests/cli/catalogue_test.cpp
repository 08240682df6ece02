// Damaged and foreign files, each given to "info" and "render": a clear refusal naming the
// file, quickly, within a 4 GB address space, leaving nothing behind and any old output intact.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/jpeg.h"
#include "platform/bmp.h"
#include "tests/support/fits_files.h"
#include "tests/support/run.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::FitsBuilder;
using test::FitsCard;

struct Damage {
    std::string what;      // the kind of damage, for failure messages
    std::string name;      // the file name, whose extension chooses the reader
    Bytes bytes;           // the file's content (unused for a folder)
    std::string says;      // part of the message that names the problem
    bool folder = false;   // a folder under the file name instead of a file
};

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

std::vector<Damage> catalogue() {
    const Bytes frame = test::LevelExampleFrame();
    Bytes noEnd(2880 * 3, ' ');
    const std::string simple = FitsCard("SIMPLE", "T");
    std::copy(simple.begin(), simple.end(), noEnd.begin());
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 1, 0};
    Raster r(40, 30);
    for (std::size_t i = 0; i < r.bytes.size(); ++i) r.bytes[i] = std::uint8_t(i * 7);
    const Bytes bmp = platform::EncodeBmp(r);
    Bytes jpeg = EncodeJpeg(r);
    for (std::size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 24; ++i) jpeg[i] = std::uint8_t(~jpeg[i]);
    Bytes greyUnderColour = test::BytesOf("P6\n40 30\n255\n");
    greyUnderColour.resize(greyUnderColour.size() + 40 * 30, 128);  // one byte per pixel, three promised

    return {
        {"empty FITS", "empty.fits", {}, "shorter than one 2880-byte header block"},
        {"truncated header", "header.fits", cut(frame, 1500), "shorter than one 2880-byte header block"},
        {"no END card", "noend.fits", noEnd, "no END card"},
        {"truncated samples", "samples.fits", cut(frame, frame.size() - 5000), "file truncated"},
        {"absurd NAXIS", "naxis.fits", fitsWith("NAXIS1", "99999999"), "over 16000 pixels"},
        {"BITPIX -32", "float.fits", fitsWith("BITPIX", "-32"), "BITPIX = -32"},
        {"PNG named .fits", "picture.fits", png, "not a FITS file"},
        {"folder named .fits", "folder.fits", {}, "folder", true},
        {"huge Netpbm", "huge.pgm", test::BytesOf("P6\n16001 16001\n255\n"), "over the limit of 16000"},
        {"negative Netpbm", "negative.pgm", test::BytesOf("P6\n-5 10\n255\n"), "-5"},
        {"one byte per pixel under P6", "grey.pgm", greyUnderColour, "truncated"},
        {"truncated BMP", "cut.bmp", cut(bmp, bmp.size() / 2), "truncated"},
        {"corrupt JPEG", "corrupt.jpg", jpeg, "damaged"},
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
            EXPECT_NE(r.err.find(path), std::string::npos) << d.what << ": " << r.err;
            EXPECT_NE(r.err.find(d.says), std::string::npos) << d.what << ": " << r.err;
        }
        EXPECT_TRUE(work.entries().empty()) << d.what << " left files in the working folder";
        EXPECT_EQ(outputs.entries(), std::vector<std::string>{"keep.bmp"}) << d.what;
        EXPECT_EQ(test::ReadBytes(keep), test::BytesOf("an older picture")) << d.what;
    }
}

TEST_F(BadInput, AHeaderPromisingMoreThanTheFileHoldsTakesNoMemory) {
    // 16000 x 16000 samples promised by a 2880-byte file, in an address space far smaller
    // than those samples would need (about 1 GB as 32-bit values): refused before allocating.
    FitsBuilder b = FitsBuilder::Header16(16000, 16000);
    const std::string path = inputs.file("promise.fits");
    test::WriteBytes(path, b.bytes());
    const test::RunResult r = test::RunLimited(NUVAK_CLI_PATH, {"info", path}, {work.path().string(), 256ull << 10, 10});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("file truncated"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace nuvak
