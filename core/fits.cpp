#include "core/fits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "core/error.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// A header that long without END is not a FITS header (real ones take a few blocks).
constexpr std::uint64_t kMaxHeaderBlocks = 10000;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// The value of a card: after "=" in column 9, up to a comment's "/", without blanks.
// Fixed-format writers right-align it to column 30; free-format ones put it anywhere.
std::string_view valueField(std::string_view card) {
    if (card.size() < 9 || card[8] != '=') return {};
    std::string_view v = card.substr(9);
    if (const auto slash = v.find('/'); slash != std::string_view::npos) v = v.substr(0, slash);
    return trim(v);
}

long long parseWhole(std::string_view value, std::string_view keyword, const std::string& name) {
    std::string_view digits = value;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    long long v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (digits.empty() || end != digits.data() + digits.size()) {
        throw FileError(name, std::string(trim(keyword)) + msg::kFitsNotWhole + quoted(value));
    }
    if (ec == std::errc::result_out_of_range) {
        throw FileError(name, std::string(trim(keyword)) + msg::kFitsValueTooLarge + quoted(value));
    }
    return v;
}

// The longest prefix of text that reads as a real number (a FITS "D" exponent counts as "E").
std::optional<double> parseRealPrefix(std::string_view text, bool whole) {
    std::string s(text);
    for (char& c : s)
        if (c == 'D' || c == 'd') c = 'E';
    std::string_view v = s;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (!v.empty() && (v.front() == '+' || v.front() == '-') && s.front() == '+') return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (end == v.data()) return std::nullopt;
    if (whole && end != v.data() + v.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
    return d;
}

// A zero offset must be a finite number whose truncation is a 32-bit integer.
std::int32_t zeroOffset(std::optional<double> v, std::string_view text, const std::string& name) {
    if (!v || std::isnan(*v)) throw FileError(name, msg::kFitsBzeroNotNumber + quoted(text));
    const double t = std::trunc(*v);
    if (!std::isfinite(t) || t < std::numeric_limits<std::int32_t>::min() ||
        t > std::numeric_limits<std::int32_t>::max()) {
        throw FileError(name, msg::kFitsBzeroRange + quoted(text));
    }
    return static_cast<std::int32_t>(t);
}

bool printable(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 32 && c <= 126; });
}

template <class Fn>
auto onFile(const std::string& path, std::ostream* diag, Fn fn) {
    const std::unique_ptr<FileSource> source = OpenFile(path, diag, kFitsOpenDiagnostic);
    return fn(*source);
}

// Moves a band of rows (row-major, row stride `pitch`) into the [x][y] array at row y0.
// Four-by-four blocks are transposed in registers so that both sides are read and written
// sixteen bytes at a time; the padded pitch keeps the rows of a block out of each other's
// cache sets.
void transposeBand(const std::int32_t* band, std::size_t pitch, int w, int rows, IntArray2D& p, int y0) {
    const int w4 = w & ~3, rows4 = rows & ~3;
    for (int x = 0; x < w4; x += 4) {
        std::int32_t* d0 = p[x] + y0;
        std::int32_t* d1 = p[x + 1] + y0;
        std::int32_t* d2 = p[x + 2] + y0;
        std::int32_t* d3 = p[x + 3] + y0;
        for (int r = 0; r < rows4; r += 4) {
            const std::int32_t* s = band + std::size_t(r) * pitch + x;
#if defined(__SSE2__) || defined(_M_X64)
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + pitch));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * pitch));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * pitch));
            const __m128i ab0 = _mm_unpacklo_epi32(a, b), cd0 = _mm_unpacklo_epi32(c, d);
            const __m128i ab1 = _mm_unpackhi_epi32(a, b), cd1 = _mm_unpackhi_epi32(c, d);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d0 + r), _mm_unpacklo_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d1 + r), _mm_unpackhi_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d2 + r), _mm_unpacklo_epi64(ab1, cd1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d3 + r), _mm_unpackhi_epi64(ab1, cd1));
#else
            for (int k = 0; k < 4; ++k) {
                d0[r + k] = s[k * pitch];
                d1[r + k] = s[k * pitch + 1];
                d2[r + k] = s[k * pitch + 2];
                d3[r + k] = s[k * pitch + 3];
            }
#endif
        }
        for (int r = rows4; r < rows; ++r) {
            const std::int32_t* s = band + std::size_t(r) * pitch + x;
            d0[r] = s[0];
            d1[r] = s[1];
            d2[r] = s[2];
            d3[r] = s[3];
        }
    }
    for (int x = w4; x < w; ++x) {
        std::int32_t* dst = p[x] + y0;
        for (int r = 0; r < rows; ++r) dst[r] = band[std::size_t(r) * pitch + x];
    }
}

// Reads the samples band of rows by band of rows: each band is byte-swapped, widened and
// mapped (raw value 256 * high + low through map) into a row-major buffer, then
// transposed into the [x][y] array.
template <class Map>
void readSamples(ByteSource& source, const FitsHeader& h, IntArray2D& p, Map map) {
    const int w = h.width, ht = h.height;
    if (p.width() < w || p.height() < ht) throw std::invalid_argument("sample array smaller than the image");
    constexpr int kBandRows = 64;
    const std::size_t rowBytes = std::size_t(w) * 2;
    const std::size_t pitch = std::size_t(w) + 16;
    std::vector<std::uint8_t> raw(rowBytes * kBandRows);
    std::vector<std::int32_t> band(pitch * kBandRows);
    for (int y0 = 0; y0 < ht; y0 += kBandRows) {
        const int rows = std::min(kBandRows, ht - y0);
        source.read(h.dataOffset() + std::uint64_t(y0) * rowBytes, raw.data(), rowBytes * rows);
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* s = raw.data() + std::size_t(r) * rowBytes;
            std::int32_t* d = band.data() + std::size_t(r) * pitch;
            for (int x = 0; x < w; ++x) d[x] = map(std::int32_t(s[2 * x]) << 8 | s[2 * x + 1]);
        }
        transposeBand(band.data(), pitch, w, rows, p, y0);
    }
}

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

// True when v + z and v - z stay in 32 bits for every 16-bit v.
bool offsetFitsSixteenBits(std::int32_t z) { return z > std::numeric_limits<std::int32_t>::min() + 65536 && z < std::numeric_limits<std::int32_t>::max() - 65536; }

void readSamplesWithOffset(ByteSource& source, const FitsHeader& h, IntArray2D& p) {
    const std::int32_t z = h.bzero;
    if (offsetFitsSixteenBits(z)) {
        // Branch-free, so the widening loop vectorises: v - z, plus 2z where v < z.
        const std::uint32_t uz = static_cast<std::uint32_t>(z);
        readSamples(source, h, p, [uz, z](std::int32_t v) {
            const std::uint32_t below = 0u - static_cast<std::uint32_t>(v < z);
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - uz + (below & (2u * uz)));
        });
    } else {
        readSamples(source, h, p, [z](std::int32_t v) {
            return saturate(v < z ? std::int64_t(v) + z : std::int64_t(v) - z);
        });
    }
}

}  // namespace

FitsHeader ReadFitsHeader(ByteSource& source, std::ostream* diag) {
    const std::string& name = source.name();
    const std::uint64_t size = source.size();
    FitsHeader h;

    // Whole blocks up to the one holding the END card.
    std::uint64_t pos = 0;
    std::size_t endCard = std::string::npos;
    while (endCard == std::string::npos) {
        if (pos / kFitsBlockBytes >= kMaxHeaderBlocks) throw FileError(name, msg::kFitsNoEnd);
        if (size - pos < kFitsBlockBytes) {
            throw FileError(name, pos == 0 ? msg::kFitsShorterThanBlock : msg::kFitsNoEnd);
        }
        char block[kFitsBlockBytes];
        source.read(pos, block, sizeof block);
        if (pos == 0 && !printable(std::string_view(block, kFitsCardBytes))) throw FileError(name, msg::kFitsNotFits);
        for (int i = 0; i < kFitsCardsPerBlock; ++i) {
            if (std::string_view(block + i * kFitsCardBytes, 3) == "END") {
                endCard = h.cardText.size() / kFitsCardBytes + i;
                break;
            }
        }
        h.cardText.append(block, sizeof block);
        pos += kFitsBlockBytes;
    }
    h.cards = static_cast<int>(pos / kFitsCardBytes);

    // The first occurrence of each keyword before END counts.
    std::optional<long long> naxis1, naxis2, bitpix;
    std::optional<std::int32_t> bzero;
    for (std::size_t i = 0; i < endCard; ++i) {
        const std::string_view card(h.cardText.data() + i * kFitsCardBytes, kFitsCardBytes);
        const std::string_view key = card.substr(0, 8);
        if (key == "NAXIS1  " && !naxis1) {
            naxis1 = parseWhole(valueField(card), key, name);
        } else if (key == "NAXIS2  " && !naxis2) {
            naxis2 = parseWhole(valueField(card), key, name);
        } else if (key == "BITPIX  " && !bitpix) {
            bitpix = parseWhole(valueField(card), key, name);
        } else if (key == "BZERO   " && !bzero) {
            const std::string_view v = valueField(card);
            bzero = zeroOffset(parseRealPrefix(v, true), v, name);
        }
    }

    if (!naxis1 || !naxis2) throw FileError(name, msg::kFitsNoSize);
    if (*naxis1 <= 0 || *naxis2 <= 0) {
        throw FileError(name, msg::kFitsEmptySize + std::to_string(*naxis1) + " x " + std::to_string(*naxis2));
    }
    if (*naxis1 > kFitsMaxSide || *naxis2 > kFitsMaxSide) {
        if (diag) *diag << *naxis1 << " " << *naxis2 << "\n" << "alloc error !!\n";
        throw FileError(name, std::to_string(*naxis1) + " x " + std::to_string(*naxis2) + msg::kFitsTooLarge);
    }
    if (bitpix && *bitpix != 16) throw FileError(name, msg::kFitsBitpix + std::to_string(*bitpix) + msg::kFitsBitpixOnly16);
    h.width = static_cast<int>(*naxis1);
    h.height = static_cast<int>(*naxis2);
    h.bitpix = 16;
    h.bzero = bzero.value_or(0);

    const std::uint64_t have = size - pos;
    if (have < h.dataBytes()) {
        throw FileError(name, msg::kFitsTruncated + std::to_string(have) + " of " + std::to_string(h.dataBytes()) +
                                  msg::kFitsSampleBytes);
    }
    return h;
}

FitsHeader ReadFitsHeader(const std::string& path, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return ReadFitsHeader(s, diag); });
}

FitsHeader ReadFits(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    readSamples(source, h, p, [](std::int32_t v) { return v; });
    return h;
}

FitsHeader ReadFits(const std::string& path, IntArray2D& p, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return ReadFits(s, p, diag); });
}

std::optional<std::int32_t> ScanBzero(std::span<const char> text, const std::string& name) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto nextWord = [&]() -> std::optional<std::string_view> {
        while (i < n && isBlank(text[i])) ++i;
        if (i >= n) return std::nullopt;
        const std::size_t start = i;
        while (i < n && !isBlank(text[i])) ++i;
        return std::string_view(text.data() + start, i - start);
    };
    while (const auto word = nextWord()) {
        if (*word != "BZERO") continue;
        const auto eq = nextWord();
        if (!eq) return std::nullopt;
        if (*eq != "=") continue;
        const auto number = nextWord();
        if (!number) return std::nullopt;
        return zeroOffset(parseRealPrefix(*number, false), *number, name);
    }
    return std::nullopt;
}

namespace {

// Z of the token scan over the first block, or the BZERO card's value without a match.
void takeScannedOffset(FitsHeader& h, const std::string& name) {
    const std::span<const char> firstBlock(h.cardText.data(), std::min<std::size_t>(h.cardText.size(), kFitsBlockBytes));
    if (const auto z = ScanBzero(firstBlock, name)) h.bzero = *z;
}

}  // namespace

FitsHeader ReadFitsBzero(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    takeScannedOffset(h, source.name());
    readSamples(source, h, p, [](std::int32_t v) { return v; });
    return h;
}

FitsHeader ReadFitsBzero(const std::string& path, IntArray2D& p, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return ReadFitsBzero(s, p, diag); });
}

int ApplyBzero(std::int32_t z, int w, int h, IntArray2D& p) {
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = p[x];
        for (int y = 0; y < h; ++y) {
            const std::int64_t v = col[y];
            col[y] = saturate(v < z ? v + z : v - z);
        }
    }
    return 0;
}

FitsHeader LoadFitsInto(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    takeScannedOffset(h, source.name());
    readSamplesWithOffset(source, h, p);
    return h;
}

FitsImage LoadFits(ByteSource& source, std::ostream* diag) {
    FitsImage image;
    image.header = ReadFitsHeader(source, diag);
    takeScannedOffset(image.header, source.name());
    if (AllocIntArray2D(image.header.width, image.header.height, image.samples, diag) != 0) {
        throw FileError(source.name(), msg::kFitsNoMemory);
    }
    readSamplesWithOffset(source, image.header, image.samples);
    return image;
}

FitsImage LoadFits(const std::string& path, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return LoadFits(s, diag); });
}

}  // namespace nuvak
