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
