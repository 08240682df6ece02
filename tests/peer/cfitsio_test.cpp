// Our FITS reader against a second reader nobody here wrote: files are written by cfitsio
// and read back by both, and every sample must agree.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include "core/fits.h"
#include "core/fitsgeneral.h"
#include "core/format.h"
#include "core/open.h"
#include "resources/messages.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tracking/measure.h"
#include "tracking/synthetic.h"

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

// Every common layout, written by the library itself, reads as the plain 16-bit frame whose
// values it holds: whole values within 0 ... 65535 as they are, anything else mapped
// linearly onto 0 ... 65535; the open command, the run's fold by 32768 and the library's own
// account of the mapping all agree.
TEST(GeneralFits, EveryLayoutReadsAsItsSixteenBitOriginal) {
    test::TempDir dir;
    const int w = 37, h = 29;
    // A star on a sloping sky: whole values 1000 ... about 50000.
    auto original = [](int x, int y) {
        return std::floor(1000 + 20 * x + 7 * y +
                          49000 * std::exp(-((x - 20.3) * (x - 20.3) + (y - 11.6) * (y - 11.6)) / 8));
    };
    using Value = std::function<double(double)>;
    auto layout = [](int bitpix, double bscale = 1, double bzero = 0, bool extension = false,
                     std::string compression = "") {
        test::LibraryFits l;
        l.bitpix = bitpix, l.bscale = bscale, l.bzero = bzero, l.extension = extension,
        l.compression = std::move(compression);
        return l;
    };
    const Value same = [](double v) { return v; };
    struct Row {
        const char* what;
        test::LibraryFits layout;
        Value value;    // the physical value written for an original value
        bool identity;  // read as they are, or mapped
    } rows[] = {
        {"8-bit", layout(8), [](double v) { return std::floor(v / 256); }, true},
        {"8-bit signed", layout(8, 1, -128), [](double v) { return std::floor(v / 256) - 128; }, false},
        {"16-bit in an extension", layout(16, 1, 32768, true), same, true},
        {"16-bit BSCALE 2, in range", layout(16, 2, 0), [](double v) { return 2 * std::floor(v / 2); }, true},
        {"16-bit BSCALE 0.5 BZERO 100", layout(16, 0.5, 100), [](double v) { return 100 + std::floor(v / 2) / 2; },
         false},
        {"32-bit counts beyond 16 bits", layout(32), [](double v) { return v * 10; }, false},
        {"float", layout(-32), [](double v) { return v / 7.3; }, false},
        {"double, negative, in an extension", layout(-64, 1, 0, true), [](double v) { return v - 30000; }, false},
        {"RICE", layout(16, 1, 32768, false, "RICE"), same, true},
        {"GZIP", layout(16, 1, 32768, false, "GZIP"), same, true},
        {"HCOMPRESS", layout(16, 1, 32768, false, "HCOMPRESS"), same, true},
        {"PLIO", layout(32, 1, 0, false, "PLIO"), same, true},
        {"float, GZIP", layout(-32, 1, 0, false, "GZIP"), [](double v) { return v / 7.3; }, false},
        {"32-bit, RICE", layout(32, 1, 0, false, "RICE"), [](double v) { return v * 3 - 70000; }, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<double> values(std::size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) values[std::size_t(y) * w + x] = r.value(original(x, y));
        const std::string path = dir.file(std::string(r.layout.compression.empty() ? "frame" : "frame.fits") +
                                          std::to_string(&r - rows) + (r.layout.compression.empty() ? ".fits" : ".fz"));
        test::LibraryFits layout = r.layout;
        layout.cards = {{"BAYERPAT", "RGGB"}};
        layout.primaryCards = {{"DATE-OBS", "2026-12-08T21:14:05"}, {"BAYERPAT", "GRBG"}};
        test::WriteLibraryFits(path, layout, w, h, values);

        GeneralFitsSource general(path);
        const FitsConversion& c = general.conversion();
        EXPECT_EQ(c.bitpix, r.layout.bitpix);
        EXPECT_EQ(c.hdu, r.layout.extension || !r.layout.compression.empty() ? 1 : 0);
        EXPECT_EQ(c.identity(), r.identity);

        const FitsImage image = LoadFits(path);
        ASSERT_EQ(image.header.width, w);
        ASSERT_EQ(image.header.height, h);
        // The image's own cards come first; the primary's fill in what an extension lacks.
        const std::string& cards = image.header.cardText;
        EXPECT_NE(cards.find("BAYERPAT= 'RGGB"), std::string::npos);
        EXPECT_EQ(cards.find("'GRBG"), std::string::npos);
        EXPECT_EQ(cards.find("DATE-OBS") != std::string::npos, c.hdu == 1);
        IntArray2D folded(w, h);
        ReadFits(path, folded);
        ApplyBzero(32768, w, h, folded);
        double lo = 1e300, hi = -1e300;
        for (const double v : values) lo = std::min(lo, v), hi = std::max(hi, v);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double v = values[std::size_t(y) * w + x];
                const int s = image.samples[x][y];
                ASSERT_EQ(folded[x][y], s) << x << "," << y;
                if (r.identity) {
                    ASSERT_EQ(s, v) << x << "," << y;
                } else {
                    // The float rows keep single precision only: the tolerance allows for it.
                    ASSERT_NEAR(s / c.factor + c.offset, v, (0.5 + 1e-6) / c.factor + std::abs(v) * 1e-7)
                        << x << "," << y;
                }
            }
        }
        if (!r.identity) {
            EXPECT_NEAR(c.offset, lo, std::abs(lo) * 1e-7);
            EXPECT_NEAR(c.factor, 65535 / (hi - lo), 65535 / (hi - lo) * 1e-6);
        }
    }
}

// Undefined values, cubes and a constant image: NaN becomes 0, a cube gives its first plane
// (or, for the open command, three planes as a colour picture), a constant image maps to 0.
TEST(GeneralFits, UndefinedValuesCubesAndConstantImages) {
    test::TempDir dir;
    const int w = 30, h = 24;
    std::vector<double> v(std::size_t(w) * h * 3);
    const std::size_t plane = std::size_t(w) * h;
    for (std::size_t p = 0; p < 3; ++p)
        for (std::size_t i = 0; i < plane; ++i) v[p * plane + i] = 0.25 + double(i) + double(p * 100);
    v[5] = std::nan("");
    const std::string cube = dir.file("cube.fits");
    test::LibraryFits floats;
    floats.bitpix = -32;
    test::WriteLibraryFits(cube, floats, w, h, v, 3);
    const FitsImage first = LoadFits(cube);
    EXPECT_EQ(first.samples[5][0], 0);
    EXPECT_EQ(first.samples[0][0], 0);              // the smallest value
    EXPECT_EQ(first.samples[w - 1][h - 1], 65535);  // the largest of the first plane

    // Three planes: one mapping over all of them, so plane 3 (blue) is the brightest.
    const OpenedFits colour = OpenFitsPicture(cube);
    EXPECT_EQ(colour.document.kind(), ImageKind::Colour);
    ASSERT_TRUE(colour.conversion);
    EXPECT_EQ(colour.conversion->planes, 3);
    const std::uint8_t* px = colour.document.Image.pixel(w / 2, h / 2);
    EXPECT_GT(px[0], px[1]);
    EXPECT_GT(px[1], px[2]);

    const std::string four = dir.file("four.fits");
    test::LibraryFits counts;
    counts.bzero = 32768;
    test::WriteLibraryFits(four, counts, w, h, std::vector<double>(v.begin(), v.begin() + w * h * 4 / 3), 4);
    std::ostringstream note;
    const OpenedFits grey = OpenFitsPicture(four, &note);
    EXPECT_EQ(grey.document.kind(), ImageKind::Mono16);
    EXPECT_EQ(note.str(), FillMessage(msg::kFitsFirstPlane, four, 4) + "\n");

    const std::string flat = dir.file("flat.fits");
    test::LibraryFits doubles;
    doubles.bitpix = -64;
    test::WriteLibraryFits(flat, doubles, w, h, std::vector<double>(std::size_t(w) * h, -2.5));
    const FitsImage constant = LoadFits(flat);
    EXPECT_EQ(constant.samples[3][4], 0);
    EXPECT_EQ(constant.samples[w - 1][h - 1], 0);
}

// The tracking run measures a linear float copy of a night as it measures the 16-bit frames.
TEST(GeneralFits, TrackingOfAFloatCopyMatchesTheOriginal) {
    test::TempDir dir;
    SyntheticOptions o;
    o.width = 96;
    o.height = 80;
    o.frames = 2;
    o.gapAfter = o.saturatedFrame = o.lostFrame = -1;
    const std::vector<SyntheticFrame> truth = WriteSyntheticSequence(dir.path().string(), o);
    std::vector<std::string> originals, copies;
    for (const SyntheticFrame& f : truth) {
        const FitsImage image = LoadFits(f.path);
        std::vector<double> v(std::size_t(o.width) * o.height);
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) v[std::size_t(y) * o.width + x] = image.samples[x][y] * 0.37 + 12.5;
        originals.push_back(f.path);
        copies.push_back(f.path + ".float.fits");
        test::LibraryFits floats;
        floats.bitpix = -32;
        test::WriteLibraryFits(copies.back(), floats, o.width, o.height, v);
    }
    MeasureSettings settings;
    TrackingState a, b;
    a.FrameCount = b.FrameCount = 2;
    RunMeasurement(originals, settings, a);
    RunMeasurement(copies, settings, b);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(b.CentroidX[i], a.CentroidX[i], 0.01) << i;
        EXPECT_NEAR(b.CentroidY[i], a.CentroidY[i], 0.01) << i;
    }
}

}  // namespace
}  // namespace nuvak
