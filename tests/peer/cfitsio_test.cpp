// Our FITS reader against a second reader nobody here wrote: files are written by cfitsio
// and read back by both, and every sample must agree.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/fits.h"
#include "core/open.h"
#include "tests/support/files.h"

namespace nuvak {
namespace {

struct PeerFile {
    std::vector<std::uint16_t> samples;  // row by row from the top
};

void Check(int status, const char* what) {
    if (status) {
        char text[FLEN_STATUS];
        fits_get_errstatus(status, text);
        FAIL() << what << ": " << text;
    }
}

// Writes an unsigned 16-bit image with cfitsio and `extraKeys` additional header keywords.
PeerFile WriteWithPeer(const std::string& path, int w, int h, int extraKeys, unsigned seed) {
    PeerFile f;
    std::mt19937 rng(seed);
    f.samples.resize(std::size_t(w) * h);
    for (auto& v : f.samples) v = std::uint16_t(rng());
    f.samples[0] = 0;
    f.samples.back() = 65535;

    fitsfile* fp = nullptr;
    int status = 0;
    const std::string name = "!" + path;  // "!" lets cfitsio replace an existing file
    fits_create_file(&fp, name.c_str(), &status);
    long axes[2] = {w, h};
    fits_create_img(fp, USHORT_IMG, 2, axes, &status);
    for (int k = 0; k < extraKeys; ++k) {
        const std::string key = "KEY" + std::to_string(k);
        long value = 1000 + k;
        fits_write_key(fp, TLONG, key.c_str(), &value, "a keyword that makes the header longer", &status);
        if (k % 10 == 0) fits_write_history(fp, "processed by a test, step after step", &status);
    }
    fits_write_img(fp, TUSHORT, 1, LONGLONG(f.samples.size()), f.samples.data(), &status);
    fits_close_file(fp, &status);
    Check(status, "writing with cfitsio");
    return f;
}

std::vector<std::uint16_t> ReadWithPeer(const std::string& path, int& w, int& h) {
    fitsfile* fp = nullptr;
    int status = 0;
    fits_open_file(&fp, path.c_str(), READONLY, &status);
    long axes[2] = {0, 0};
    int naxis = 0;
    fits_get_img_dim(fp, &naxis, &status);
    fits_get_img_size(fp, 2, axes, &status);
    w = int(axes[0]);
    h = int(axes[1]);
    std::vector<std::uint16_t> out(std::size_t(w) * h);
    int anyNull = 0;
    fits_read_img(fp, TUSHORT, 1, LONGLONG(out.size()), nullptr, out.data(), &anyNull, &status);
    fits_close_file(fp, &status);
    Check(status, "reading with cfitsio");
    return out;
}

TEST(PeerFits, EverySampleAgreesWithTheSecondReader) {
    test::TempDir dir;
    struct Row {
        int w, h, keys;
    } rows[] = {{1, 1, 0}, {3, 7, 0}, {64, 33, 5}, {101, 77, 40}, {640, 480, 120}, {31, 1000, 300}};
    unsigned seed = 1;
    for (const auto& r : rows) {
        const std::string path = dir.file("peer" + std::to_string(seed) + ".fits");
        const PeerFile written = WriteWithPeer(path, r.w, r.h, r.keys, seed++);
        int pw = 0, ph = 0;
        const auto peer = ReadWithPeer(path, pw, ph);
        ASSERT_EQ(peer, written.samples);

        const FitsImage ours = LoadFits(path);
        ASSERT_EQ(ours.header.width, pw);
        ASSERT_EQ(ours.header.height, ph);
        EXPECT_EQ(ours.header.bzero, 32768);
        EXPECT_EQ(ours.header.cards % 36, 0);
        EXPECT_GE(ours.header.cards, 36 * (1 + (r.keys + r.keys / 10) / 36));
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                ASSERT_EQ(ours.samples[x][y], peer[std::size_t(y) * pw + x])
                    << r.w << " x " << r.h << " at " << x << "," << y;
    }
}

TEST(PeerFits, OpenCommandReadsPeerFiles) {
    test::TempDir dir;
    const std::string path = dir.file("frame.fits");
    WriteWithPeer(path, 120, 90, 80, 99);
    const OpenedFits f = OpenFitsDocument(path);
    EXPECT_EQ(f.document.DemX, 120);
    EXPECT_EQ(f.document.DemY, 90);
    EXPECT_GT(f.cards, 72);  // three or more header blocks
    int w = 0, h = 0;
    const auto peer = ReadWithPeer(path, w, h);
    for (int y = 0; y < h; y += 5)
        for (int x = 0; x < w; x += 3) ASSERT_EQ(f.document.sample(x, y), peer[std::size_t(y) * w + x]);
}

}  // namespace
}  // namespace nuvak
