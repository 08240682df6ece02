#include "core/fits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <vector>


#include "core/error.h"
#include "core/fitscards.h"
#include "core/fitsgeneral.h"
#include "core/format.h"
#include "core/simd.h"
#include "resources/messages.h"

#if NUVAK_SIMD_SSE2
#include <emmintrin.h>
#endif

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

long long parseWhole(std::string_view value, std::string_view keyword, const std::string& name) {
    std::string_view digits = value;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    long long v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (digits.empty() || end != digits.data() + digits.size()) {
        throw FileError(name, FillMessage(msg::kFitsNotWhole, trim(keyword), value));
    }
    if (ec == std::errc::result_out_of_range) {
        throw FileError(name, FillMessage(msg::kFitsValueTooLarge, trim(keyword), value));
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
    if (!v || std::isnan(*v)) throw FileError(name, FillMessage(msg::kFitsBzeroNotNumber, text));
    const double t = std::trunc(*v);
    if (!std::isfinite(t) || t < std::numeric_limits<std::int32_t>::min() ||
        t > std::numeric_limits<std::int32_t>::max()) {
        throw FileError(name, FillMessage(msg::kFitsBzeroRange, text));
    }
    return static_cast<std::int32_t>(t);
}

bool printable(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 32 && c <= 126; });
}

// Bytes a text file holds: printable ASCII, line and page breaks, tabs, and the bytes of
// multi-byte characters (UTF-8, Shift-JIS).
bool textLike(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 32 && u != 127) || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    });
}

// A FITS file opens with the card SIMPLE = T.
bool simpleTrue(std::string_view card) {
    return card.substr(0, 9) == "SIMPLE  =" && FitsValueField(card).starts_with('T');
}

// Why a first card that is not a FITS card of printable ASCII is refused: a text file (a
// note or a table named .fits) does not open with SIMPLE = T; anything else is binary.
const char* firstCardRefusal(std::string_view card) {
    return textLike(card) && !simpleTrue(card) ? msg::kFitsNoSimple : msg::kFitsNotFits;
}

template <class Fn>
auto onFile(const std::string& path, std::ostream* diag, Fn fn) {
    const std::unique_ptr<ByteSource> source = OpenFitsSource(path, diag);
    return fn(*source);
}

// The zero offset as the readers apply it: v + z when v < z, otherwise v - z. While z keeps
// every 16-bit v within 32 bits the result is computed without a branch (v - z, plus 2z where
// v < z) so that it vectorises; with z = 0 it leaves the raw values as they are.
struct ZeroOffset {
    std::int32_t z = 0;

    bool exactIn32Bits() const {
        return z > std::numeric_limits<std::int32_t>::min() + 65536 &&
               z < std::numeric_limits<std::int32_t>::max() - 65536;
    }
    std::int32_t operator()(std::int32_t v) const {
        if (exactIn32Bits()) {
            const std::uint32_t uz = static_cast<std::uint32_t>(z);
            const std::uint32_t below = 0u - static_cast<std::uint32_t>(v < z);
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - uz + (below & (2u * uz)));
        }
        return saturated(v, z);
    }
    // Any v: computed in 64 bits, results beyond 32 bits saturate.
    static std::int32_t saturated(std::int32_t v, std::int32_t z) {
        const std::int64_t r = v < z ? std::int64_t(v) + z : std::int64_t(v) - z;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(r, std::numeric_limits<std::int32_t>::min(),
                                                                  std::numeric_limits<std::int32_t>::max()));
    }
};

std::int32_t rawSample(const std::uint8_t* s) { return std::int32_t(s[0]) << 8 | s[1]; }

#if NUVAK_SIMD_SSE2
// Eight big-endian samples of four rows, byte-swapped, widened, offset and transposed, so
// that each of the eight columns receives four consecutive rows in one store.
void moveBlock8x4(const std::uint8_t* raw, std::size_t rowBytes, std::int32_t* const* cols, int r, __m128i z,
                  __m128i twoZ) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + std::size_t(r + k) * rowBytes));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        const __m128i a = _mm_unpacklo_epi16(v, zero), b = _mm_unpackhi_epi16(v, zero);
        lo[k] = _mm_add_epi32(_mm_sub_epi32(a, z), _mm_and_si128(_mm_cmplt_epi32(a, z), twoZ));
        hi[k] = _mm_add_epi32(_mm_sub_epi32(b, z), _mm_and_si128(_mm_cmplt_epi32(b, z), twoZ));
    }
    auto transposeStore = [&](__m128i* q, std::int32_t* const* c) {
        const __m128i t0 = _mm_unpacklo_epi32(q[0], q[1]), t1 = _mm_unpacklo_epi32(q[2], q[3]);
        const __m128i t2 = _mm_unpackhi_epi32(q[0], q[1]), t3 = _mm_unpackhi_epi32(q[2], q[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c[0] + r), _mm_unpacklo_epi64(t0, t1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c[1] + r), _mm_unpackhi_epi64(t0, t1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c[2] + r), _mm_unpacklo_epi64(t2, t3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c[3] + r), _mm_unpackhi_epi64(t2, t3));
    };
    transposeStore(lo, cols);
    transposeStore(hi, cols + 4);
}
#endif

// Moves a band of rows of raw big-endian samples into the [x][y] array at row y0, applying
// the zero offset. Blocks of eight columns by four rows go through registers; the edges
// that do not fill a block are moved one sample at a time.
void moveBand(const std::uint8_t* raw, std::size_t rowBytes, int w, int rows, IntArray2D& p, int y0,
              ZeroOffset offset) {
    int x = 0;
#if NUVAK_SIMD_SSE2
    if (simd::Use(simd::Path::Sse2) && offset.exactIn32Bits()) {
        const __m128i z = _mm_set1_epi32(offset.z);
        const __m128i twoZ = _mm_set1_epi32(static_cast<std::int32_t>(2u * static_cast<std::uint32_t>(offset.z)));
        const int rows4 = rows & ~3;
        for (; x + 8 <= w; x += 8) {
            std::int32_t* cols[8];
            for (int k = 0; k < 8; ++k) cols[k] = p[x + k] + y0;
            const std::uint8_t* src = raw + std::size_t(x) * 2;
            for (int r = 0; r < rows4; r += 4) moveBlock8x4(src, rowBytes, cols, r, z, twoZ);
            for (int r = rows4; r < rows; ++r)
                for (int k = 0; k < 8; ++k) cols[k][r] = offset(rawSample(src + std::size_t(r) * rowBytes + 2 * k));
        }
    }
#endif
    for (; x < w; ++x) {
        std::int32_t* dst = p[x] + y0;
        const std::uint8_t* src = raw + std::size_t(x) * 2;
        for (int r = 0; r < rows; ++r) dst[r] = offset(rawSample(src + std::size_t(r) * rowBytes));
    }
}

// Reads the samples of rows first .. last - 1 a band of rows at a time (about a megabyte)
// into one buffer and hands each band on. The buffer is not zero-filled: every band handed
// on has just been read in full (a short read throws).
template <class Band>
void readBands(ByteSource& source, const FitsHeader& h, int first, int last, Band band) {
    const std::size_t rowBytes = std::size_t(h.width) * 2;
    const int bandRows = std::max<int>(4, int((std::size_t(1) << 20) / rowBytes) & ~3);
    const std::unique_ptr<std::uint8_t[]> raw(new std::uint8_t[rowBytes * std::min(bandRows, last - first)]);
    for (int y0 = first; y0 < last; y0 += bandRows) {
        const int rows = std::min(bandRows, last - y0);
        source.read(h.dataOffset() + std::uint64_t(y0) * rowBytes, raw.get(), rowBytes * rows);
        band(raw.get(), y0, rows);
    }
}

// Reads the samples of rows first .. last - 1 and moves each band into the [x][y] array at
// its own rows.
void readSamples(ByteSource& source, const FitsHeader& h, IntArray2D& p, ZeroOffset offset, int first = 0,
                 int last = -1) {
    const int w = h.width, ht = h.height;
    if (last < 0) last = ht;
    if (first < 0 || first > last || last > ht) throw std::invalid_argument("rows outside the image");
    if (p.width() < w || p.height() < ht) throw std::invalid_argument("sample array smaller than the image");
    if (first == last) return;
    readBands(source, h, first, last, [&](const std::uint8_t* raw, int y0, int rows) {
        moveBand(raw, std::size_t(w) * 2, w, rows, p, y0, offset);
    });
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
        if (const std::string_view first(block, kFitsCardBytes); pos == 0 && !printable(first))
            throw FileError(name, firstCardRefusal(first));
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
            naxis1 = parseWhole(FitsValueField(card), key, name);
        } else if (key == "NAXIS2  " && !naxis2) {
            naxis2 = parseWhole(FitsValueField(card), key, name);
        } else if (key == "BITPIX  " && !bitpix) {
            bitpix = parseWhole(FitsValueField(card), key, name);
        } else if (key == "BZERO   " && !bzero) {
            const std::string_view v = FitsValueField(card);
            bzero = zeroOffset(parseRealPrefix(v, true), v, name);
        }
    }

    if (!naxis1 || !naxis2) throw FileError(name, msg::kFitsNoSize);
    if (*naxis1 <= 0 || *naxis2 <= 0) {
        throw FileError(name, FillMessage(msg::kFitsEmptySize, *naxis1, *naxis2));
    }
    if (*naxis1 > kFitsMaxSide || *naxis2 > kFitsMaxSide) {
        if (diag)
            *diag << *naxis1 << " " << *naxis2 << "\n"
                  << "alloc error !!\n";
        throw FileError(name, FillMessage(msg::kFitsTooLarge, *naxis1, *naxis2, kFitsMaxSide));
    }
    if (bitpix && *bitpix != 16) throw FileError(name, FillMessage(msg::kFitsBitpix, *bitpix));
    h.width = static_cast<int>(*naxis1);
    h.height = static_cast<int>(*naxis2);
    h.bitpix = 16;
    h.bzero = bzero.value_or(0);

    const std::uint64_t have = size - pos;
    if (have < h.dataBytes()) {
        throw FileError(name, FillMessage(msg::kFitsTruncated, have, h.dataBytes()));
    }
    return h;
}

FitsHeader ReadFitsHeader(const std::string& path, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return ReadFitsHeader(s, diag); });
}

FitsHeader ReadFits(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    readSamples(source, h, p, ZeroOffset{0});
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
    const std::span<const char> firstBlock(h.cardText.data(),
                                           std::min<std::size_t>(h.cardText.size(), kFitsBlockBytes));
    if (const auto z = ScanBzero(firstBlock, name)) h.bzero = *z;
}

}  // namespace

FitsHeader ReadFitsBzero(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    takeScannedOffset(h, source.name());
    readSamples(source, h, p, ZeroOffset{0});
    return h;
}

FitsHeader ReadFitsBzero(const std::string& path, IntArray2D& p, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return ReadFitsBzero(s, p, diag); });
}

int ApplyBzero(std::int32_t z, int w, int h, IntArray2D& p) {
    const std::int64_t reach = std::abs(std::int64_t(z));
    for (int x = 0; x < w; ++x) {
        std::int32_t* col = p[x];
        // Columns whose values cannot leave 32 bits take the branch-free form.
        std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
        for (int y = 0; y < h; ++y) {
            lo = std::min(lo, col[y]);
            hi = std::max(hi, col[y]);
        }
        if (lo - reach >= std::numeric_limits<std::int32_t>::min() &&
            hi + reach <= std::numeric_limits<std::int32_t>::max()) {
            const std::uint32_t uz = static_cast<std::uint32_t>(z);
            for (int y = 0; y < h; ++y) {
                const std::uint32_t below = 0u - static_cast<std::uint32_t>(col[y] < z);
                col[y] = static_cast<std::int32_t>(static_cast<std::uint32_t>(col[y]) - uz + (below & (2u * uz)));
            }
        } else {
            for (int y = 0; y < h; ++y) col[y] = ZeroOffset::saturated(col[y], z);
        }
    }
    return 0;
}

FitsHeader LoadFitsInto(ByteSource& source, IntArray2D& p, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    takeScannedOffset(h, source.name());
    readSamples(source, h, p, ZeroOffset{h.bzero});
    return h;
}

void ReadFitsRows(ByteSource& source, const FitsHeader& h, std::int32_t z, IntArray2D& p, int y0, int y1) {
    readSamples(source, h, p, ZeroOffset{z}, y0, y1);
}

FitsImage LoadFits(ByteSource& source, std::ostream* diag) {
    FitsImage image;
    image.header = ReadFitsHeader(source, diag);
    takeScannedOffset(image.header, source.name());
    if (AllocIntArray2D(image.header.width, image.header.height, image.samples, diag) != 0) {
        throw FileError(source.name(), msg::kFitsNoMemory);
    }
    readSamples(source, image.header, image.samples, ZeroOffset{image.header.bzero});
    return image;
}

FitsHeader LoadFitsHeader(ByteSource& source, std::ostream* diag) {
    FitsHeader h = ReadFitsHeader(source, diag);
    takeScannedOffset(h, source.name());
    return h;
}

void ReadFitsBands(ByteSource& source, const FitsHeader& h,
                   const std::function<void(const std::uint8_t* stored, int y0, int rows)>& band) {
    if (h.width > 0 && h.height > 0) readBands(source, h, 0, h.height, band);
}

std::vector<std::int32_t> FitsSampleValues(std::int32_t z) {
    std::vector<std::int32_t> values(65536);
    const ZeroOffset offset{z};
    for (std::int32_t r = 0; r < 65536; ++r) values[std::size_t(r)] = offset(r);
    return values;
}

FitsImage LoadFits(const std::string& path, std::ostream* diag) {
    return onFile(path, diag, [&](ByteSource& s) { return LoadFits(s, diag); });
}

}  // namespace nuvak
