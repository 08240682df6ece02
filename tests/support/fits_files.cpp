#include "tests/support/fits_files.h"

#include <stdexcept>

namespace nuvak::test {

std::string FitsRawCard(const std::string& text) {
    std::string c = text.substr(0, 80);
    c.resize(80, ' ');
    return c;
}

std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment) {
    std::string c = keyword;
    c.resize(8, ' ');
    c += "= ";
    if (value.size() < 20) c += std::string(20 - value.size(), ' ');
    c += value;
    if (!comment.empty()) c += " / " + comment;
    return FitsRawCard(c);
}

FitsBuilder FitsBuilder::Image16(int w, int h, const std::string& bzero) {
    FitsBuilder b = Header16(w, h, bzero);
    b.data.assign(std::size_t(w) * h * 2, 0);
    return b;
}

FitsBuilder FitsBuilder::Header16(int w, int h, const std::string& bzero) {
    FitsBuilder b;
    b.cards.push_back(FitsCard("SIMPLE", "T"));
    b.cards.push_back(FitsCard("BITPIX", "16"));
    b.cards.push_back(FitsCard("NAXIS", "2"));
    b.cards.push_back(FitsCard("NAXIS1", std::to_string(w)));
    b.cards.push_back(FitsCard("NAXIS2", std::to_string(h)));
    if (!bzero.empty()) b.cards.push_back(FitsCard("BZERO", bzero));
    return b;
}

FitsBuilder& FitsBuilder::samples(int w, int h, const std::function<std::uint16_t(int, int)>& stored) {
    data.assign(std::size_t(w) * h * 2, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint16_t v = stored(x, y);
            const std::size_t k = (std::size_t(y) * w + x) * 2;
            data[k] = std::uint8_t(v >> 8);
            data[k + 1] = std::uint8_t(v & 0xFF);
        }
    return *this;
}

FitsBuilder& FitsBuilder::endAt(int index) {
    if (index < int(cards.size())) throw std::logic_error("END would fall among the cards");
    while (int(cards.size()) < index) cards.push_back(FitsRawCard(""));
    return *this;
}

FitsBuilder& FitsBuilder::card(const std::string& c) {
    cards.push_back(c.size() == 80 ? c : FitsRawCard(c));
    return *this;
}

Bytes FitsBuilder::bytes(bool padData) const {
    std::string header;
    for (const auto& c : cards) header += c;
    header += FitsRawCard("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    Bytes out(header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    if (padData) out.resize((out.size() + 2879) / 2880 * 2880, 0);
    return out;
}

Bytes LevelExampleFrame() {
    auto onGrid = [](int x, int y) { return x >= 10 && y >= 10 && x < 90 && y < 90 && x % 4 == 2 && y % 4 == 2; };
    return FitsBuilder::Image16(100, 100)
        .samples(100, 100,
                 [&](int x, int y) {
                     if (onGrid(x, y)) return Stored((x + y) % 8 == 4 ? 1000 : 1400);
                     if (x == 5 && y == 7) return Stored(900);
                     if (x == 95 && y == 3) return Stored(2000);
                     return Stored(1200);
                 })
        .bytes();
}

}  // namespace nuvak::test

#include <fitsio.h>

namespace nuvak::test {

void WriteLibraryFits(const std::string& path, const LibraryFits& layout, int w, int h,
                      const std::vector<double>& values, int planes) {
    fitsfile* f = nullptr;
    int status = 0;
    const std::string name = "!" + path;
    fits_create_file(&f, name.c_str(), &status);
    auto writeCards = [&](const std::vector<std::pair<std::string, std::string>>& cards) {
        for (const auto& [key, value] : cards) fits_write_key_str(f, key.c_str(), value.c_str(), "", &status);
    };
    if (layout.extension || !layout.compression.empty()) {
        fits_create_img(f, 8, 0, nullptr, &status);
        writeCards(layout.primaryCards);
    }
    if (!layout.compression.empty()) {
        const int type = layout.compression == "RICE"   ? RICE_1
                         : layout.compression == "GZIP" ? GZIP_1
                         : layout.compression == "PLIO" ? PLIO_1
                                                        : HCOMPRESS_1;
        fits_set_compression_type(f, type, &status);
        if (layout.bitpix < 0) fits_set_quantize_level(f, 0, &status);
    }
    long axes[3] = {w, h, planes};
    // Unsigned 16-bit samples as cameras store them: the library writes BZERO 32768 itself.
    const bool unsigned16 = layout.bitpix == 16 && layout.bscale == 1 && layout.bzero == 32768;
    fits_create_img(f, unsigned16 ? USHORT_IMG : layout.bitpix, planes > 1 ? 3 : 2, axes, &status);
    writeCards(layout.cards);
    if (!unsigned16 && (layout.bscale != 1 || layout.bzero != 0)) {
        fits_write_key_dbl(f, "BSCALE", layout.bscale, -15, "", &status);
        fits_write_key_dbl(f, "BZERO", layout.bzero, -15, "", &status);
        fits_set_bscale(f, layout.bscale, layout.bzero, &status);
    }
    // A compressed image takes only samples of its own type.
    auto write = [&](auto sample, int type) {
        std::vector<decltype(sample)> v(values.begin(), values.end());
        fits_write_img(f, type, 1, LONGLONG(v.size()), v.data(), &status);
    };
    // Uncompressed images and 64-bit floats go as doubles: the library converts them to the type.
    if (layout.compression.empty() || layout.bitpix == -64) {
        write(double(), TDOUBLE);
    } else if (unsigned16) {
        write(std::uint16_t(), TUSHORT);
    } else if (layout.bitpix == 16) {
        write(std::int16_t(), TSHORT);
    } else if (layout.bitpix == 32) {
        write(std::int32_t(), TINT);
    } else if (layout.bitpix == -32) {
        write(float(), TFLOAT);
    } else {
        write(std::uint8_t(), TBYTE);
    }
    fits_close_file(f, &status);
    if (status) throw std::runtime_error("cfitsio could not write " + path + ": status " + std::to_string(status));
}

}  // namespace nuvak::test
