// Writes the seed corpus of the fuzz targets: small valid files made by the project's own
// writers and test helpers, and near misses of each (cut short, a wrong field, a missing
// part), so that fuzzing starts deep inside every reader. Run once by hand:
//   fuzz_seeds tests/fuzz/corpus
// It replaces the files it writes and leaves other files (found crashers) alone.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/arrays.h"
#include "core/bmp.h"
#include "core/jpeg.h"
#include "core/raster.h"
#include "core/samples.h"
#include "tests/support/files.h"
#include "tests/support/fits_files.h"
#include "tests/support/jpeg_files.h"

using namespace nuvak;
using namespace std::string_literals;
using nuvak::test::Bytes;
using nuvak::test::BytesOf;
using nuvak::test::FitsBuilder;
using nuvak::test::FitsRawCard;
using nuvak::test::Stored;

namespace {

// The test helper's card writer, not the sample writer's of the same name.
using nuvak::test::FitsCard;

namespace fs = std::filesystem;

fs::path root;
std::size_t totalBytes = 0;
int totalFiles = 0;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path folder = root / target;
    fs::create_directories(folder);
    nuvak::test::WriteBytes((folder / name).string(), bytes);
    totalBytes += bytes.size();
    ++totalFiles;
}

Bytes Cut(Bytes b, std::size_t n) {
    b.resize(std::min(n, b.size()));
    return b;
}

// A star of the given peak on a flat sky, as physical samples 0 ... 65535.
IntArray2D StarField(int w, int h, double sx, double sy, int sky, int peak, double sigma = 1.5) {
    IntArray2D a(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const double d2 = (x + 0.5 - sx) * (x + 0.5 - sx) + (y + 0.5 - sy) * (y + 0.5 - sy);
            a[x][y] = sky + int(peak * std::exp(-d2 / (2 * sigma * sigma))) + (x * 7 + y * 13) % 5;
        }
    return a;
}

Raster Pattern(int w, int h) {
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = r.pixel(x, y);
            p[0] = std::uint8_t(x * 255 / std::max(1, w - 1));
            p[1] = std::uint8_t(y * 255 / std::max(1, h - 1));
            p[2] = std::uint8_t((x ^ y) * 16);
        }
    return r;
}

// ---------------------------------------------------------------------------------- FITS

void FitsSeeds() {
    auto gradient = [](int w, int h) {
        return FitsBuilder::Image16(w, h).samples(w, h, [&](int x, int y) { return Stored(1000 + 37 * x + 11 * y); });
    };
    Put("fits", "valid-8x8.fits", gradient(8, 8).bytes());
    Put("fits", "valid-32x32.fits", gradient(32, 32).bytes());
    Put("fits", "valid-33x21-unpadded.fits", gradient(33, 21).bytes(false));
    Put("fits", "valid-1x64.fits", gradient(1, 64).bytes());
    Put("fits", "valid-64x1.fits", gradient(64, 1).bytes());
    Put("fits", "star-32x32-sample-writer.fits", EncodeFits16(StarField(32, 32, 15.3, 16.7, 1200, 9000), 32, 32));
    Put("fits", "extremes-32x32.fits",
        FitsBuilder::Image16(32, 32)
            .samples(32, 32, [](int x, int y) { return std::uint16_t((x + y) % 2 ? 0xFFFF : 0); })
            .bytes());
    Put("fits", "flat-32x32.fits",
        FitsBuilder::Image16(32, 32).samples(32, 32, [](int, int) { return Stored(500); }).bytes());
    Put("fits", "no-bzero-32x32.fits",
        FitsBuilder::Image16(32, 32, "").samples(32, 32, [](int x, int y) { return std::uint16_t(x * y); }).bytes());
    Put("fits", "bzero-negative.fits",
        FitsBuilder::Image16(32, 32, "-32768").samples(32, 32, [](int x, int) { return std::uint16_t(x); }).bytes());
    Put("fits", "bzero-largest.fits",
        FitsBuilder::Image16(32, 32, "2147483647")
            .samples(32, 32, [](int x, int) { return std::uint16_t(x * 999); })
            .bytes());
    Put("fits", "bzero-real.fits", FitsBuilder::Image16(32, 32, "32768.9E0").bytes());
    Put("fits", "bzero-beyond-32-bits.fits", FitsBuilder::Image16(32, 32, "1E12").bytes());
    Put("fits", "bzero-not-a-number.fits", FitsBuilder::Image16(32, 32, "'abc'").bytes());
    Put("fits", "bzero-token-in-comment.fits",
        FitsBuilder::Image16(32, 32, "").card("COMMENT BZERO = 100 set by hand").bytes());
    Put("fits", "bzero-token-not-a-number.fits", FitsBuilder::Image16(32, 32, "").card("HISTORY BZERO = x12").bytes());
    Put("fits", "end-in-second-block.fits", gradient(32, 32).endAt(40).bytes());
    Put("fits", "end-as-last-card.fits", gradient(32, 32).endAt(35).bytes());
    Put("fits", "duplicate-naxis1.fits", gradient(32, 32).card(FitsCard("NAXIS1", "9999")).bytes());
    Put("fits", "truncated-samples.fits", Cut(gradient(32, 32).bytes(false), 2880 + 32 * 32 * 2 - 1));
    Put("fits", "header-only.fits", FitsBuilder::Header16(32, 32).bytes());
    Put("fits", "shorter-than-a-block.fits", Cut(gradient(8, 8).bytes(), 2000));
    {
        FitsBuilder b = gradient(8, 8);
        b.cards.clear();
        b.card(FitsCard("SIMPLE", "T")).card(FitsCard("NAXIS1", "8")).card(FitsCard("NAXIS2", "8"));
        Bytes bytes = b.bytes();
        // No END anywhere: the header runs into the samples.
        for (std::size_t i = 0; i + 3 <= bytes.size(); ++i)
            if (bytes[i] == 'E' && bytes[i + 1] == 'N' && bytes[i + 2] == 'D') bytes[i] = 'X';
        Put("fits", "no-end.fits", bytes);
    }
    {
        FitsBuilder b = FitsBuilder::Image16(8, 8);
        b.cards[1] = FitsCard("BITPIX", "-32");
        Put("fits", "bitpix-minus-32.fits", b.bytes());
        b.cards[1] = FitsCard("BITPIX", "8");
        Put("fits", "bitpix-8.fits", b.bytes());
    }
    {
        FitsBuilder b = FitsBuilder::Header16(99999, 99999);
        Put("fits", "absurd-naxis.fits", b.bytes());
        b = FitsBuilder::Header16(0, 8);
        Put("fits", "naxis1-zero.fits", b.bytes());
        b = FitsBuilder::Header16(16000, 16000);
        Put("fits", "largest-side-no-samples.fits", b.bytes());
        b = FitsBuilder::Header16(8, 8);
        b.cards[3] = FitsCard("NAXIS1", "8.5");
        Put("fits", "naxis1-real.fits", b.bytes());
    }
    {
        Bytes b = gradient(8, 8).bytes();
        b[3] = 0x01;  // a control character in the first card
        Put("fits", "not-printable.fits", b);
    }
    Put("fits", "png-named-fits.fits", BytesOf("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s));
    Put("fits", "empty.fits", {});
}

// ---------------------------------------------------------------------------------- PGM

Bytes Netpbm(const std::string& header, int w, int h, int bytesPerPixel) {
    Bytes b = BytesOf(header);
    for (int i = 0; i < w * h * bytesPerPixel; ++i) b.push_back(std::uint8_t(i * 7));
    return b;
}

// Layouts for the general FITS route, written by cfitsio: other sample types, scaling, an
// extension, each compression method, a colour cube, and damaged copies of some.
void FitsGeneralSeeds() {
    nuvak::test::TempDir dir;
    auto put = [&](const std::string& name, nuvak::test::LibraryFits layout, int w, int h, int planes = 1) {
        std::vector<double> v(std::size_t(w) * h * planes);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = double(1000 + (i * 37) % 3000);
        if (layout.bitpix == 8)
            for (double& x : v) x = std::fmod(x, 200);
        if (layout.bitpix < 0)
            for (double& x : v) x = x / 7.3 - 20;
        if (layout.bitpix < 0 && v.size() > 3) v[3] = std::nan("");
        layout.cards = {{"DATE-OBS", "2026-12-08T21:14:05.250"}, {"BAYERPAT", "RGGB"}};
        const std::string path = dir.file(name);
        nuvak::test::WriteLibraryFits(path, layout, w, h, v, planes);
        Bytes bytes = nuvak::test::ReadBytes(path);
        Put("fitsgeneral", name, bytes);
        return bytes;
    };
    auto layout = [](int bitpix, double bscale, double bzero, bool extension, const std::string& compression) {
        nuvak::test::LibraryFits l;
        l.bitpix = bitpix, l.bscale = bscale, l.bzero = bzero, l.extension = extension, l.compression = compression;
        return l;
    };
    put("bitpix-8-8x8.fits", layout(8, 1, 0, false, ""), 8, 8);
    put("bitpix-32-8x8.fits", layout(32, 1, 0, false, ""), 8, 8);
    put("float-8x8.fits", layout(-32, 1, 0, false, ""), 8, 8);
    put("double-extension-8x6.fits", layout(-64, 1, 0, true, ""), 8, 6);
    put("bscale-16x16.fits", layout(16, 0.5, 100, false, ""), 16, 16);
    put("cube-8x8x3.fits", layout(-32, 1, 0, false, ""), 8, 8, 3);
    put("cube-6x4x5.fits", layout(16, 1, 32768, false, ""), 6, 4, 5);
    put("plio-16x16.fits.fz", layout(32, 1, 0, false, "PLIO"), 16, 16);
    put("hcompress-16x16.fits.fz", layout(16, 1, 32768, false, "HCOMPRESS"), 16, 16);
    put("float-gzip-16x16.fits.fz", layout(-32, 1, 0, false, "GZIP"), 16, 16);
    const Bytes rice = put("rice-24x16.fits.fz", layout(16, 1, 32768, false, "RICE"), 24, 16);
    const Bytes gzip = put("gzip-24x16.fits.fz", layout(16, 1, 32768, false, "GZIP"), 24, 16);
    Put("fitsgeneral", "rice-cut.fits.fz", Cut(rice, rice.size() * 7 / 10));
    Bytes damaged = gzip;
    for (std::size_t i = damaged.size() * 3 / 4; i < damaged.size() * 3 / 4 + 64 && i < damaged.size(); ++i)
        damaged[i] ^= 0x5A;
    Put("fitsgeneral", "gzip-damaged.fits.fz", damaged);
}

void PgmSeeds() {
    Put("pgm", "p6-8x8.pgm", Netpbm("P6\n8 8\n255\n", 8, 8, 3));
    Put("pgm", "p5-16x9.pgm", Netpbm("P5\n16 9\n255\n", 16, 9, 1));
    Put("pgm", "other-magic-3-bytes.pgm", Netpbm("XY 5 3 255 ", 5, 3, 3));
    Put("pgm", "comments-everywhere.pgm", Netpbm("P6 # made by hand\n# second\n8 # w\n 8\n#m\n255\n", 8, 8, 3));
    Put("pgm", "comment-after-maxval.pgm", Netpbm("P6\n4 4\n255# end\n", 4, 4, 3));
    Put("pgm", "maxval-0.pgm", Netpbm("P5 4 4 0\n", 4, 4, 1));
    Put("pgm", "crlf.pgm", Netpbm("P6\r\n7\r\n3\r\n255\r", 7, 3, 3));
    Put("pgm", "1x1.pgm", Netpbm("P6 1 1 255\n", 1, 1, 3));
    Put("pgm", "one-byte-per-pixel-as-p6.pgm", Netpbm("P6\n8 8\n255\n", 8, 8, 1));
    Put("pgm", "truncated-samples.pgm", Cut(Netpbm("P6\n8 8\n255\n", 8, 8, 3), 11 + 100));
    Put("pgm", "huge-dimensions.pgm", Netpbm("P6\n99999 99999\n255\n", 1, 1, 3));
    Put("pgm", "largest-side.pgm", Netpbm("P5\n16000 16000\n255\n", 4, 4, 1));
    Put("pgm", "negative-width.pgm", Netpbm("P6\n-8 8\n255\n", 8, 8, 3));
    Put("pgm", "maxval-65535.pgm", Netpbm("P6\n2 2\n65535\n", 2, 2, 6));
    Put("pgm", "maxval-negative.pgm", Netpbm("P5 2 2 -1\n", 2, 2, 1));
    Put("pgm", "width-not-a-number.pgm", Netpbm("P6 8x 8 255\n", 8, 8, 3));
    Put("pgm", "long-digit-run.pgm", Netpbm("P6 00000000000000000000000000000000000000008 8 255\n", 8, 8, 3));
    Put("pgm", "no-maxval.pgm", BytesOf("P6 8 8"));
    Put("pgm", "no-separator.pgm", BytesOf("P6 1 1 255"));
    for (const char* magic : {"P1", "P2", "P3", "P4", "P7"})
        Put("pgm", std::string("refused-") + magic + ".pgm", Netpbm(std::string(magic) + "\n4 4\n255\n", 4, 4, 1));
    Put("pgm", "starts-with-comment.pgm", Netpbm("# P6\n4 4 255\n", 4, 4, 3));
    Put("pgm", "empty.pgm", {});
}

// ---------------------------------------------------------------------------------- JPEG

// Encodes with settings the save command never uses (grey, progressive, CMYK), for the
// decoder's other paths.
Bytes EncodeJpegWith(int w, int h, J_COLOR_SPACE space, int components, bool progressive, int quality) {
    std::vector<std::uint8_t> samples(std::size_t(w) * h * components);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * components; ++i)
            samples[std::size_t(y) * w * components + i] = std::uint8_t((i * 5 + y * 3) & 0xFF);
    return test::LibraryJpeg(w, h, components, space, samples.data(), JCS_UNKNOWN, progressive, quality);
}

void JpegSeeds() {
    const Bytes small = EncodeJpeg(Pattern(8, 8));
    Put("jpeg", "colour-8x8.jpg", small);
    Put("jpeg", "colour-33x17.jpg", EncodeJpeg(Pattern(33, 17), 90));
    Put("jpeg", "colour-1x40-quality-1.jpg", EncodeJpeg(Pattern(1, 40), 1));
    Put("jpeg", "grey-16x16.jpg", EncodeJpegWith(16, 16, JCS_GRAYSCALE, 1, false, 70));
    Put("jpeg", "progressive-24x24.jpg", EncodeJpegWith(24, 24, JCS_RGB, 3, true, 70));
    Put("jpeg", "cmyk-8x8.jpg", EncodeJpegWith(8, 8, JCS_CMYK, 4, false, 70));
    Put("jpeg", "truncated-half.jpg", Cut(small, small.size() / 2));
    Put("jpeg", "truncated-before-end-marker.jpg", Cut(small, small.size() - 2));
    Put("jpeg", "start-marker-only.jpg", Cut(small, 2));
    Bytes damaged = small;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 8; ++i) damaged[i] ^= 0x5A;
    Put("jpeg", "damaged-scan.jpg", damaged);
    Put("jpeg", "png-named-jpg.jpg", BytesOf("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s));
    Put("jpeg", "empty.jpg", {});
}

// ---------------------------------------------------------------------------------- BMP

// A BMP with a 40-byte information header: the given palette and pixel bytes as stored.
Bytes BmpFile(int w, int h, int bpp, std::uint32_t compression, const Bytes& palette, const Bytes& pixels,
              std::uint32_t headerSize = 40) {
    Bytes b;
    auto u16 = [&](std::uint32_t v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const std::uint32_t offset = 14 + headerSize + std::uint32_t(palette.size());
    b.push_back('B'), b.push_back('M');
    u32(offset + std::uint32_t(pixels.size())), u32(0), u32(offset);
    u32(headerSize), u32(std::uint32_t(w)), u32(std::uint32_t(h)), u16(1), u16(std::uint32_t(bpp)), u32(compression);
    u32(std::uint32_t(pixels.size())), u32(2835), u32(2835), u32(std::uint32_t(palette.size() / 4)), u32(0);
    while (b.size() < 14 + headerSize) b.push_back(0);
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes GreyPalette(int entries) {
    Bytes p;
    for (int i = 0; i < entries; ++i) {
        const std::uint8_t v = std::uint8_t(i * 255 / std::max(1, entries - 1));
        p.insert(p.end(), {v, v, v, 0});
    }
    return p;
}

void BmpSeeds() {
    const Bytes small = EncodeBmp(Pattern(8, 8));
    Put("bmp", "24-bit-8x8.bmp", small);
    Put("bmp", "24-bit-13x7-padded-rows.bmp", EncodeBmp(Pattern(13, 7)));
    Put("bmp", "truncated-rows.bmp", Cut(small, small.size() - 5));
    Put("bmp", "header-cut.bmp", Cut(small, 20));
    Bytes noSignature = small;
    noSignature[0] = 'X';
    Put("bmp", "no-signature.bmp", noSignature);

    Bytes pixels8(8 * 8);
    for (std::size_t i = 0; i < pixels8.size(); ++i) pixels8[i] = std::uint8_t(i % 16);
    Put("bmp", "8-bit-palette-8x8.bmp", BmpFile(8, 8, 8, 0, GreyPalette(16), pixels8));
    Put("bmp", "8-bit-top-down.bmp", BmpFile(8, -8, 8, 0, GreyPalette(16), pixels8));
    Put("bmp", "4-bit-palette-8x4.bmp", BmpFile(8, 4, 4, 0, GreyPalette(16), Bytes(4 * 4, 0x1F)));
    Put("bmp", "1-bit-16x4.bmp", BmpFile(16, 4, 1, 0, GreyPalette(2), Bytes(4 * 4, 0xA5)));
    Bytes pixels16(4 * 4 * 2), pixels32(4 * 4 * 4);
    for (std::size_t i = 0; i < pixels16.size(); ++i) pixels16[i] = std::uint8_t(i * 29);
    for (std::size_t i = 0; i < pixels32.size(); ++i) pixels32[i] = std::uint8_t(i * 13);
    Put("bmp", "16-bit-4x4.bmp", BmpFile(4, 4, 16, 0, {}, pixels16));
    Put("bmp", "32-bit-4x4.bmp", BmpFile(4, 4, 32, 0, {}, pixels32));
    // Bit fields: masks after the 40-byte header (red 5, green 6, blue 5 bits).
    Put("bmp", "16-bit-bitfields-4x4.bmp",
        BmpFile(4, 4, 16, 3, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, pixels16));
    // Run-length rows: runs, a literal, a move, line ends and the picture end.
    const Bytes rle8{4, 1, 0, 4, 2, 3, 4, 5, 0, 0, 8, 7, 0, 0, 0, 2, 2, 1, 0, 0, 8, 9, 0, 1};
    Put("bmp", "rle8-8x4.bmp", BmpFile(8, 4, 8, 1, GreyPalette(16), rle8));
    Put("bmp", "rle8-cut-short.bmp", BmpFile(8, 4, 8, 1, GreyPalette(16), Cut(rle8, 9)));
    const Bytes rle4{8, 0x12, 0, 0, 0, 4, 0x34, 0x56, 0, 0, 8, 0x77, 0, 0, 8, 0x12, 0, 1};
    Put("bmp", "rle4-8x4.bmp", BmpFile(8, 4, 4, 2, GreyPalette(16), rle4));
    Put("bmp", "huge-sides-no-rows.bmp", BmpFile(100000, 100000, 24, 0, {}, Bytes(12, 0)));
    Put("bmp", "zero-width.bmp", BmpFile(0, 4, 24, 0, {}, Bytes(12, 0)));
    Put("bmp", "unknown-depth.bmp", BmpFile(4, 4, 7, 0, {}, Bytes(64, 0)));
    Put("bmp", "v5-header-32-bit.bmp", BmpFile(4, 4, 32, 0, {}, pixels32, 124));
    {
        // The oldest header: 12 bytes with 16-bit sides, palette entries of three bytes.
        Bytes b{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 12 + 6, 0, 0, 0, 12, 0, 0, 0, 4, 0, 2, 0, 1, 0, 1, 0};
        b.insert(b.end(), {0, 0, 0, 255, 255, 255});
        b.insert(b.end(), {0x50, 0, 0, 0, 0xA0, 0, 0, 0});
        Put("bmp", "core-header-1-bit.bmp", b);
    }
    Put("bmp", "odd-header-size.bmp", BmpFile(4, 4, 24, 0, {}, Bytes(48, 0), 20));
    Put("bmp", "jpeg-named-bmp.bmp", EncodeJpeg(Pattern(8, 8)));
    Put("bmp", "empty.bmp", {});
}

// ---------------------------------------------------------------------------------- tracking

// The tracking target's input: flags, radius, star position, then the files, each but the
// last after a 16-bit little-endian length.
Bytes TrackInput(std::uint8_t flags, std::int8_t radius, int starX, int starY, const std::vector<Bytes>& files) {
    Bytes b{flags, std::uint8_t(radius), std::uint8_t(starX + 32), std::uint8_t(starY + 32)};
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i + 1 < files.size())
            b.insert(b.end(), {std::uint8_t(files[i].size() & 0xFF), std::uint8_t(files[i].size() >> 8)});
        b.insert(b.end(), files[i].begin(), files[i].end());
    }
    return b;
}

void TrackSeeds() {
    constexpr int w = 24, h = 24;
    const Bytes f1 = EncodeFits16(StarField(w, h, 11.2, 12.6, 1200, 8000), w, h);
    const Bytes f2 = EncodeFits16(StarField(w, h, 11.9, 12.1, 1200, 7600), w, h);
    const Bytes f3 = EncodeFits16(StarField(w, h, 12.5, 11.4, 1210, 8100), w, h);
    IntArray2D darkSamples(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) darkSamples[x][y] = (x == 3 && y == 5) ? 20000 : 300;
    const Bytes dark = EncodeFits16(darkSamples, w, h);
    IntArray2D hot = StarField(w, h, 11.2, 12.6, 1200, 8000);
    hot[20][2] = 60000;
    const Bytes withHotPixel = EncodeFits16(hot, w, h);
    const Bytes bigger = EncodeFits16(StarField(w + 8, h, 11.2, 12.6, 1200, 8000), w + 8, h);
    const Bytes black = EncodeFits16(IntArray2D(w, h), w, h);

    Put("track", "whole-frame-two.bin", TrackInput(0, 10, 0, 0, {f1, f2}));
    Put("track", "whole-frame-three-small-radius.bin", TrackInput(8, 3, 0, 0, {f1, f2, f3}));
    Put("track", "given-star.bin", TrackInput(1, 5, 11, 12, {f1, f2}));
    Put("track", "given-star-three.bin", TrackInput(1 | 8, 4, 12, 12, {f1, f2, f3}));
    Put("track", "star-near-edge.bin", TrackInput(1, 6, 1, 22, {f1, f2}));
    Put("track", "star-off-frame.bin", TrackInput(1, 5, -20, 200, {f1, f2}));
    Put("track", "search-range-zero.bin", TrackInput(1, 0, 11, 12, {f1, f2}));
    Put("track", "negative-radius.bin", TrackInput(1, -7, 11, 12, {f1, f2}));
    Put("track", "noise-cut.bin", TrackInput(2, 10, 0, 0, {withHotPixel, f2}));
    Put("track", "noise-cut-given-star.bin", TrackInput(1 | 2, 5, 11, 12, {withHotPixel, f2}));
    Put("track", "dark.bin", TrackInput(4, 10, 0, 0, {f1, f2, dark}));
    Put("track", "dark-noise-cut-star-three.bin", TrackInput(1 | 2 | 4 | 8, 5, 11, 12, {f1, f2, f3, dark}));
    Put("track", "dark-size-differs.bin", TrackInput(4, 10, 0, 0, {f1, f2, bigger}));
    Put("track", "frame-size-differs.bin", TrackInput(0, 10, 0, 0, {f1, bigger}));
    Put("track", "black-frame.bin", TrackInput(0, 10, 0, 0, {black, f2}));
    Put("track", "second-frame-truncated.bin", TrackInput(0, 10, 0, 0, {f1, Cut(f2, 2880 + 100)}));
    Put("track", "second-frame-empty.bin", TrackInput(1, 5, 11, 12, {f1, {}}));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " corpus-folder\n";
        return 2;
    }
    root = argv[1];
    FitsSeeds();
    FitsGeneralSeeds();
    PgmSeeds();
    JpegSeeds();
    BmpSeeds();
    TrackSeeds();
    std::cout << "wrote " << totalFiles << " seed files, " << totalBytes << " bytes, under " << root.string() << "\n";
    return 0;
}
