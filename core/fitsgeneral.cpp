#include "core/fitsgeneral.h"

#include <fitsio.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string_view>

#include "core/error.h"
#include "core/fileio.h"
#include "core/fits.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// About this many stored bytes per band of rows: the cache of samples, and a band of values
// (eight bytes each) while they are converted.
constexpr std::size_t kBandBytes = std::size_t(1) << 19;
// The plain reader takes headers of any length; a peek that finds no END this far in leaves
// the file to it.
constexpr int kPeekBlocks = 1000;
constexpr std::int32_t kStoredZero = 32768;

// The user's words for the library's common failures; any other by its number.
std::string problemOf(int status) {
    switch (status) {
        case FILE_NOT_OPENED:
        case TOO_MANY_FILES:
        case SAME_FILE:
        case NO_MATCHING_DRIVER:
        case URL_PARSE_ERROR: return msg::kFitsLibCannotOpen;
        case END_OF_FILE:
        case READ_ERROR:
        case SEEK_ERROR:
        case BAD_HEADER_FILL:
        case BAD_DATA_FILL: return msg::kFitsLibTruncated;
        case MEMORY_ALLOCATION:
        case ARRAY_TOO_BIG: return msg::kFitsNoMemory;
        case DATA_COMPRESSION_ERR:
        case DATA_DECOMPRESSION_ERR:
        case NO_COMPRESSED_TILE: return msg::kFitsLibDecompress;
        case NOT_IMAGE: return msg::kFitsLibNoImage;
        case BAD_BITPIX:
        case BAD_NAXIS:
        case BAD_NAXES:
        case BAD_DIMEN:
        case NEG_AXIS:
        case BAD_PIX_NUM:
        case BAD_ELEM_NUM:
        case NO_BITPIX:
        case NO_NAXIS:
        case NO_NAXES:
        case ZERO_SCALE: return msg::kFitsLibBadSize;
        default:
            if (status > 200 && status < 300) return msg::kFitsLibBadHeader;
            return FillMessage(msg::kFitsLibOther, status);
    }
}

[[noreturn]] void fail(const std::string& name, int status) {
    fits_clear_errmsg();
    throw FileError(name, problemOf(status));
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

std::string keywordOf(std::string_view card) { return std::string(trimmed(card.substr(0, 8))); }

// A card whose value is right-aligned to column 30.
std::string card(const std::string& keyword, const std::string& value) {
    char text[kFitsCardBytes + 1];
    std::snprintf(text, sizeof text, "%-8.8s= %20s", keyword.c_str(), value.c_str());
    std::string c(text);
    c.resize(kFitsCardBytes, ' ');
    return c;
}

// The structure of the image as stored, which the plain file states in its own cards.
bool structural(const std::string& key) {
    static const std::set<std::string> keys = {"SIMPLE", "XTENSION", "BITPIX", "NAXIS",   "EXTEND",   "PCOUNT",
                                               "GCOUNT", "BZERO",    "BSCALE", "BLANK",   "CHECKSUM", "DATASUM",
                                               "END",    "GROUPS",   "THEAP",  "TFIELDS", "INHERIT"};
    if (keys.count(key)) return true;
    return key.size() > 5 && key.compare(0, 5, "NAXIS") == 0 &&
           std::all_of(key.begin() + 5, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool commentary(const std::string& key) { return key.empty() || key == "COMMENT" || key == "HISTORY"; }

// The header of the current HDU as 80-byte cards (a compressed image's as the uncompressed
// image's), without END; bytes outside printable ASCII become "?".
std::vector<std::string> headerCards(fitsfile* fp, bool compressed, const std::string& name) {
    char* text = nullptr;
    int count = 0, status = 0;
    if (compressed) {
        fits_convert_hdr2str(fp, 0, nullptr, 0, &text, &count, &status);
    } else {
        fits_hdr2str(fp, 0, nullptr, 0, &text, &count, &status);
    }
    if (status) {
        if (text) fits_free_memory(text, &status);
        fail(name, status);
    }
    std::vector<std::string> cards;
    const std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i + kFitsCardBytes <= n; i += kFitsCardBytes) {
        std::string c(text + i, kFitsCardBytes);
        for (char& ch : c)
            if (ch < 32 || ch > 126) ch = '?';
        if (c.compare(0, 3, "END") == 0 && trimmed(c.substr(0, 8)) == "END") break;
        cards.push_back(std::move(c));
    }
    int ignored = 0;
    fits_free_memory(text, &ignored);
    return cards;
}

// Whether one gzip stream comes to its proper end. The output is thrown away a buffer at a
// time; a stream that stops making progress, or fails, is damaged.
bool gzipEnds(const std::vector<unsigned char>& in) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) return false;  // gzip or zlib header
    z.next_in = const_cast<unsigned char*>(in.data());
    z.avail_in = uInt(in.size());
    unsigned char out[1 << 15];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = out;
        z.avail_out = sizeof out;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_OK && z.avail_out == sizeof out && z.avail_in == 0) rc = Z_BUF_ERROR;  // no progress
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// Whether a PLIO line list is whole: a header of at least seven words whose stated length
// (word 2, or words 3 and 4 in the long form) lies within the tile, and, in the short form,
// no two-word instruction (opcode 1) left without its second word at the end.
bool plioListFits(const std::vector<short>& list) {
    const long long length = (long long)list.size();
    if (length < 7) return false;
    if (list[2] > 0) {
        const long long stated = list[2];
        if (stated > length) return false;
        for (long long i = 3; i < stated; ++i)
            if (list[std::size_t(i)] / 4096 == 1 && ++i >= stated) return false;
        return true;
    }
    const long long stated = ((long long)(unsigned short)list[4] << 15) + (unsigned short)list[3];
    return stated <= length;
}

// The library trusts what a tile says of itself: a gzip tile is decompressed into a buffer
// grown until the stream ends, and a stream cut short never ends (it would grow for ever); a
// PLIO tile's line list is read as far as its header says, past the end of a damaged tile.
// So the tiles are checked first: every gzip tile (of a GZIP image, and any tile of another
// method kept in gzip) decompressed to its end, every PLIO tile's stated length against its
// own, and no tile longer than the file.
void checkTiles(fitsfile* fp, const std::string& name) {
    int status = 0;
    char method[FLEN_VALUE] = {};
    if (fits_read_key_str(fp, "ZCMPTYPE", method, nullptr, &status)) fail(name, status);
    const bool gzipImage = std::string_view(method).rfind("GZIP", 0) == 0;
    const bool plioImage = std::string_view(method).rfind("PLIO", 0) == 0;
    long rows = 0;
    if (fits_get_num_rows(fp, &rows, &status)) fail(name, status);
    std::error_code ec;
    const LONGLONG fileBytes = LONGLONG(std::filesystem::file_size(PathOf(name), ec));
    std::vector<unsigned char> tile;
    std::vector<short> list;
    for (const char* column : {"COMPRESSED_DATA", "GZIP_COMPRESSED_DATA"}) {
        const bool gzipColumn = gzipImage || std::string_view(column) != "COMPRESSED_DATA";
        const bool plioColumn = plioImage && std::string_view(column) == "COMPRESSED_DATA";
        if (!gzipColumn && !plioColumn) continue;
        int col = 0;
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, "%s", column);
        if (fits_get_colnum(fp, CASEINSEN, pattern, &col, &status)) {
            status = 0;
            fits_clear_errmsg();
            continue;
        }
        for (long row = 1; row <= rows; ++row) {
            LONGLONG length = 0, offset = 0;
            if (fits_read_descriptll(fp, col, row, &length, &offset, &status)) fail(name, status);
            if (length == 0) continue;
            if (length < 0 || (!ec && length > fileBytes)) throw FileError(name, msg::kFitsLibTruncated);
            int anyNull = 0;
            if (plioColumn) {
                list.resize(std::size_t(length));
                if (fits_read_col(fp, TSHORT, col, row, 1, length, nullptr, list.data(), &anyNull, &status))
                    fail(name, status);
                if (!plioListFits(list)) throw FileError(name, msg::kFitsLibDecompress);
                continue;
            }
            tile.resize(std::size_t(length));
            if (fits_read_col(fp, TBYTE, col, row, 1, length, nullptr, tile.data(), &anyNull, &status))
                fail(name, status);
            if (!gzipEnds(tile)) throw FileError(name, msg::kFitsLibDecompress);
        }
    }
}

// The library divides by, allocates for and loops over what the headers say before anything
// is checked (a tile size of 0 stops the process). So each header of the file is read here
// first, up to its END, and its structure checked: axes and sizes positive and within the
// file, the compressed image's axes and tiles positive. A header that fails is refused as
// damaged; the library then sees only files whose structure holds.
void checkHeaders(const std::string& name) {
    FileSource source(name);
    const std::uint64_t size = source.size();
    std::uint64_t pos = 0;
    char block[kFitsBlockBytes];
    const auto damaged = [&]() { throw FileError(name, msg::kFitsLibBadHeader); };
    for (int hdu = 0; pos < size && hdu < 1000; ++hdu) {
        if (size - pos < kFitsBlockBytes) return;  // trailing bytes: the library reports them
        std::map<std::string, std::string> keys;
        bool ended = false;
        for (int blocks = 0; !ended; ++blocks) {
            if (blocks >= 1000 || size - pos < kFitsBlockBytes) damaged();
            source.read(pos, block, sizeof block);
            pos += kFitsBlockBytes;
            for (int c = 0; c < kFitsCardsPerBlock && !ended; ++c) {
                const std::string_view card(block + c * kFitsCardBytes, kFitsCardBytes);
                std::string_view key = card.substr(0, 8);
                while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
                if (key == "END") ended = true;
                if (card.substr(8, 2) != "= " || keys.count(std::string(key))) continue;
                std::string_view value = card.substr(10);
                if (const auto slash = value.find('/');
                    slash != std::string_view::npos && value.find('\'') == std::string_view::npos)
                    value = value.substr(0, slash);
                while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
                while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
                keys.emplace(std::string(key), std::string(value));
            }
        }
        const auto whole = [&](const std::string& key, long long fallback) -> long long {
            const auto it = keys.find(key);
            if (it == keys.end()) return fallback;
            long long v = 0;
            const char* b = it->second.data();
            const auto [end, ec] = std::from_chars(b, b + it->second.size(), v);
            if (ec != std::errc() || end != b + it->second.size()) damaged();
            return v;
        };
        const long long bitpix = whole("BITPIX", 0);
        const long long naxis = whole("NAXIS", 0);
        if (!(bitpix == 8 || bitpix == 16 || bitpix == 32 || bitpix == 64 || bitpix == -32 || bitpix == -64)) damaged();
        if (naxis < 0 || naxis > 999) damaged();
        // The data's size, every factor checked against the file before it is multiplied.
        const std::uint64_t limit = size;
        std::uint64_t elements = naxis > 0 ? 1 : 0;
        for (long long k = 1; k <= naxis; ++k) {
            const long long n = whole("NAXIS" + std::to_string(k), -1);
            if (n < 0) damaged();
            if (n > 0 && elements > limit / std::uint64_t(n)) damaged();
            elements *= std::uint64_t(n);
        }
        const long long pcount = whole("PCOUNT", 0), gcount = whole("GCOUNT", 1);
        if (pcount < 0 || gcount < 0 || std::uint64_t(pcount) > limit || std::uint64_t(gcount) > limit) damaged();
        const std::uint64_t bytesPer = std::uint64_t(bitpix < 0 ? -bitpix : bitpix) / 8;
        const std::uint64_t groups = elements + std::uint64_t(pcount);
        if (gcount > 0 && groups > limit / std::uint64_t(gcount) / bytesPer + 1) damaged();
        const std::uint64_t bytes = bytesPer * std::uint64_t(gcount) * groups;
        if (keys.count("ZIMAGE")) {
            const long long znaxis = whole("ZNAXIS", 0);
            if (znaxis < 1 || znaxis > 999) damaged();
            for (long long k = 1; k <= znaxis; ++k) {
                if (whole("ZNAXIS" + std::to_string(k), 0) < 1) damaged();
                if (whole("ZTILE" + std::to_string(k), 1) < 1) damaged();
            }
        }
        pos += (bytes + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes;
    }
}

}  // namespace

struct GeneralFitsSource::Library {
    fitsfile* fp = nullptr;
    std::vector<long> first;  // first pixel of a read: {1, y + 1, plane + 1, 1, ...}
    // The whole file, when the library reads it from memory; it keeps the addresses of both.
    std::vector<std::uint8_t> bytes;
    void* memory = nullptr;
    std::size_t memorySize = 0;

    ~Library() {
        int status = 0;
        if (fp) fits_close_file(fp, &status);
    }
};

GeneralFitsSource::GeneralFitsSource(const std::string& path, bool colour)
    : name_(path), lib_(std::make_unique<Library>()) {
    checkHeaders(path);
    int status = 0;
#ifdef _WIN32
    // The library opens a file by its narrow name, which Windows reads in the ANSI code page:
    // a name outside ASCII is read through its wide-character path into memory instead.
    if (std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        FileSource file(path);
        lib_->bytes.resize(std::size_t(file.size()));
        file.read(0, lib_->bytes.data(), lib_->bytes.size());
        lib_->memory = lib_->bytes.data();
        lib_->memorySize = lib_->bytes.size();
        fits_open_memfile(&lib_->fp, path.c_str(), READONLY, &lib_->memory, &lib_->memorySize, 0, nullptr, &status);
    } else
#endif
        fits_open_diskfile(&lib_->fp, path.c_str(), READONLY, &status);
    if (status) {
        lib_->fp = nullptr;
        fail(name_, status);
    }
    open(colour);
}

GeneralFitsSource::~GeneralFitsSource() = default;

void GeneralFitsSource::open(bool colour) {
    fitsfile* fp = lib_->fp;
    int status = 0;

    // The first image of two axes or more: the primary array, or an extension after it.
    int naxis = 0;
    for (int k = 1;; ++k) {
        int type = 0;
        if (fits_movabs_hdu(fp, k, &type, &status)) {
            if (status == END_OF_FILE) fail(name_, NOT_IMAGE);
            fail(name_, status);
        }
        if (fits_get_hdu_type(fp, &type, &status)) fail(name_, status);
        if (type != IMAGE_HDU) continue;
        if (fits_get_img_dim(fp, &naxis, &status)) fail(name_, status);
        if (naxis >= 2) {
            conversion_.hdu = k - 1;
            break;
        }
    }
    std::vector<long> axes(std::size_t(naxis), 0);
    int bitpix = 0;
    if (fits_get_img_param(fp, naxis, &bitpix, &naxis, axes.data(), &status)) fail(name_, status);
    conversion_.bitpix = bitpix;
    conversion_.compressed = fits_is_compressed_image(fp, &status) != 0;
    width_ = axes[0];
    height_ = axes[1];
    long long planes = 1;
    for (int i = 2; i < naxis; ++i)
        planes = std::min<long long>(planes * std::max<long>(axes[std::size_t(i)], 0), 1LL << 40);
    conversion_.planes = planes;
    conversion_.mappedPlanes = colour && planes == 3 ? 3 : 1;
    lib_->first.assign(std::size_t(naxis), 1);

    // The header of the plain file: its structure, then the image's own cards, then the
    // primary header's cards that an image in an extension lacks (where capture programs
    // often put the exposure's time and place).
    std::vector<std::string> cards = {card("SIMPLE", "T"),
                                      card("BITPIX", "16"),
                                      card("NAXIS", "2"),
                                      card("NAXIS1", std::to_string(width_)),
                                      card("NAXIS2", std::to_string(height_)),
                                      card("BZERO", std::to_string(kStoredZero))};
    std::set<std::string> present;
    for (std::string& c : headerCards(fp, conversion_.compressed, name_)) {
        const std::string key = keywordOf(c);
        if (structural(key)) continue;
        present.insert(key);
        cards.push_back(std::move(c));
    }
    if (conversion_.hdu > 0) {
        int type = 0;
        if (fits_movabs_hdu(fp, 1, &type, &status)) fail(name_, status);
        bool taken = false;
        for (std::string& c : headerCards(fp, false, name_)) {
            const std::string key = keywordOf(c);
            if (key == "CONTINUE") {
                if (taken) cards.push_back(std::move(c));
                continue;
            }
            taken = !structural(key) && !commentary(key) && !present.count(key);
            if (taken) cards.push_back(std::move(c));
        }
        if (fits_movabs_hdu(fp, conversion_.hdu + 1, &type, &status)) fail(name_, status);
    }
    cards.push_back("END" + std::string(kFitsCardBytes - 3, ' '));
    for (const std::string& c : cards) header_ += c;
    header_.resize((header_.size() + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes, ' ');

    // A size the plain reader refuses is refused by it, from the header, before any sample.
    if (width_ < 1 || height_ < 1 || width_ > kFitsMaxSide || height_ > kFitsMaxSide) return;
    const std::size_t w = std::size_t(width_);
    bandRows_ = int(std::clamp<std::size_t>(kBandBytes / (w * 2), 1, std::size_t(height_)));
    try {
        values_.resize(w * std::size_t(bandRows_));
        band_.resize(w * 2 * std::size_t(bandRows_));
    } catch (const std::bad_alloc&) {
        throw FileError(name_, msg::kFitsNoMemory);
    }

    if (conversion_.compressed) checkTiles(fp, name_);

    // The range of the values and whether all are whole numbers decide the mapping.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    bool whole = true;
    for (int p = 0; p < conversion_.mappedPlanes; ++p) {
        for (int y0 = 0; y0 < height_; y0 += bandRows_) {
            const int rows = int(std::min<long long>(bandRows_, height_ - y0));
            readValues(p, y0, rows, values_.data());
            for (std::size_t i = 0, n = w * std::size_t(rows); i < n; ++i) {
                const double v = values_[i];
                if (!std::isfinite(v)) continue;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                whole = whole && v == std::floor(v);
            }
        }
    }
    if (lo <= hi && !(whole && lo >= 0 && hi <= 65535)) {
        conversion_.offset = lo;
        conversion_.factor = hi > lo ? 65535.0 / (hi - lo) : 0.0;
    }
}

std::uint64_t GeneralFitsSource::size() const {
    const std::uint64_t data = std::uint64_t(std::max(width_, 0LL)) * std::uint64_t(std::max(height_, 0LL)) * 2;
    return header_.size() + (data + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes;
}

void GeneralFitsSource::readValues(int plane, int y0, int rows, double* out) {
    std::vector<long>& first = lib_->first;
    first[1] = y0 + 1;
    if (first.size() > 2) first[2] = plane + 1;
    double undefined = std::numeric_limits<double>::quiet_NaN();
    int anyUndefined = 0, status = 0;
    fits_read_pix(lib_->fp, TDOUBLE, first.data(), LONGLONG(width_) * rows, &undefined, out, &anyUndefined, &status);
    if (status) fail(name_, status);
}

void GeneralFitsSource::readPlaneRows(int plane, int y0, int rows, std::uint16_t* out) {
    if (plane < 0 || plane >= conversion_.mappedPlanes || y0 < 0 || rows < 0 || y0 + rows > height_ || values_.empty())
        throw std::invalid_argument("rows outside the image");
    const std::size_t w = std::size_t(width_);
    const bool identity = conversion_.identity();
    const double offset = conversion_.offset, factor = conversion_.factor;
    for (int b0 = y0; b0 < y0 + rows; b0 += bandRows_) {
        const int n = std::min(bandRows_, y0 + rows - b0);
        readValues(plane, b0, n, values_.data());
        std::uint16_t* dst = out + std::size_t(b0 - y0) * w;
        for (std::size_t i = 0, m = w * std::size_t(n); i < m; ++i) {
            const double v = values_[i];
            if (!std::isfinite(v)) {
                dst[i] = 0;
            } else if (identity) {
                dst[i] = static_cast<std::uint16_t>(v);
            } else {
                dst[i] = static_cast<std::uint16_t>(std::clamp(std::nearbyint((v - offset) * factor), 0.0, 65535.0));
            }
        }
    }
}

void GeneralFitsSource::loadBand(int y0) {
    const int rows = int(std::min<long long>(bandRows_, height_ - y0));
    const std::size_t n = std::size_t(width_) * std::size_t(rows);
    std::vector<std::uint16_t> samples(n);
    readPlaneRows(0, y0, rows, samples.data());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t stored = samples[i] ^ 0x8000u;  // the sample minus 32768, as two's complement
        band_[2 * i] = std::uint8_t(stored >> 8);
        band_[2 * i + 1] = std::uint8_t(stored);
    }
    bandY0_ = y0;
    bandCount_ = rows;
}

void GeneralFitsSource::read(std::uint64_t pos, void* dst, std::size_t n) {
    if (pos > size() || n > size() - pos) throw FileError(name_, msg::kTruncated);
    auto* out = static_cast<std::uint8_t*>(dst);
    const std::uint64_t headerBytes = header_.size();
    if (pos < headerBytes) {
        const std::size_t k = std::size_t(std::min<std::uint64_t>(n, headerBytes - pos));
        std::memcpy(out, header_.data() + pos, k);
        out += k;
        pos += k;
        n -= k;
    }
    const std::uint64_t rowBytes = std::uint64_t(width_) * 2;
    const std::uint64_t dataEnd = headerBytes + rowBytes * std::uint64_t(height_);
    while (n > 0 && pos < dataEnd) {
        const std::uint64_t at = pos - headerBytes;
        const int y = int(at / rowBytes);
        if (y < bandY0_ || y >= bandY0_ + bandCount_) loadBand(y - y % bandRows_);
        const std::uint64_t inBand = at - std::uint64_t(bandY0_) * rowBytes;
        const std::size_t k = std::size_t(std::min<std::uint64_t>(n, std::uint64_t(bandCount_) * rowBytes - inBand));
        std::memcpy(out, band_.data() + inBand, k);
        out += k;
        pos += k;
        n -= k;
    }
    if (n > 0) std::memset(out, 0, n);  // the padding of the last block
}

bool IsCompressedFitsName(const std::string& path) { return LowerExtension(path) == ".fz"; }

namespace {

// The value of a card as text: after "= " up to a comment, without blanks.
std::string_view valueOf(std::string_view c) {
    if (c.size() < 10 || c[8] != '=') return {};
    std::string_view v = c.substr(9);
    if (const auto slash = v.find('/'); slash != std::string_view::npos) v = v.substr(0, slash);
    return trimmed(v);
}

std::optional<double> numberOf(std::string_view v) {
    std::string s(v);
    for (char& ch : s)
        if (ch == 'D' || ch == 'd') ch = 'E';
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return d;
}

}  // namespace

bool NeedsGeneralFitsReader(ByteSource& source) {
    const std::uint64_t size = source.size();
    std::optional<double> bitpix, naxis, naxis1, naxis2, naxis3, bscale;
    for (std::uint64_t pos = 0; pos / kFitsBlockBytes < kPeekBlocks && size - pos >= kFitsBlockBytes;
         pos += kFitsBlockBytes) {
        char block[kFitsBlockBytes];
        source.read(pos, block, sizeof block);
        if (pos == 0 && std::string_view(block, 9) != "SIMPLE  =") return false;
        for (int i = 0; i < kFitsCardsPerBlock; ++i) {
            const std::string_view c(block + i * kFitsCardBytes, kFitsCardBytes);
            if (c.substr(0, 3) == "END") {
                if (bitpix && *bitpix != 16 &&
                    (*bitpix == 8 || *bitpix == 32 || *bitpix == 64 || *bitpix == -32 || *bitpix == -64))
                    return true;
                if (bscale && *bscale != 1) return true;
                if (!naxis1 || !naxis2) return naxis.has_value();
                return naxis && *naxis >= 3 && naxis3 && *naxis3 > 1;
            }
            const std::string_view key = c.substr(0, 8);
            auto take = [&](std::string_view name, std::optional<double>& into) {
                if (key == name && !into) into = numberOf(valueOf(c));
            };
            take("BITPIX  ", bitpix);
            take("NAXIS   ", naxis);
            take("NAXIS1  ", naxis1);
            take("NAXIS2  ", naxis2);
            take("NAXIS3  ", naxis3);
            take("BSCALE  ", bscale);
        }
    }
    return false;
}

std::unique_ptr<ByteSource> OpenFitsSource(const std::string& path, std::ostream* diag, bool colour) {
    std::unique_ptr<FileSource> plain = OpenFile(path, diag, kFitsOpenDiagnostic);
    // What does not begin as FITS at all stays with the plain reader, whatever its name.
    char start[9] = {};
    if (plain->size() < sizeof start) return plain;
    plain->read(0, start, sizeof start);
    if (std::string_view(start, sizeof start) != "SIMPLE  =") return plain;
    if (!IsCompressedFitsName(path) && !NeedsGeneralFitsReader(*plain)) return plain;
    plain.reset();
    auto general = std::make_unique<GeneralFitsSource>(path, colour);
    const FitsConversion& c = general->conversion();
    if (diag && c.planes > c.mappedPlanes) *diag << FillMessage(msg::kFitsFirstPlane, path, c.planes) << "\n";
    return general;
}

}  // namespace nuvak
