#include "core/pgm.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// A header with more bytes than this is not a picture header; the bound keeps memory small
// whatever the file holds.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
// Longest magic word or number token accepted (and longest second word shown in diag).
constexpr std::size_t kMaxWordBytes = 64;
constexpr int kMaxSampleValue = 255;

std::string Str(std::uint64_t n) { return std::to_string(n); }

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The start of the file, loaded in growing chunks as the header parser asks for bytes.
class HeaderBytes {
public:
    explicit HeaderBytes(ByteSource& source) : source_(source) {}

    // The byte at offset i, or -1 past the end of the file.
    int at(std::size_t i) {
        if (i >= bytes_.size()) load(i);
        return i < bytes_.size() ? bytes_[i] : -1;
    }

    std::string_view text(std::size_t from, std::size_t to) const {
        return {reinterpret_cast<const char*>(bytes_.data()) + from, to - from};
    }

private:
    void load(std::size_t i) {
        const std::uint64_t size = source_.size();
        if (i >= size) return;
        if (i >= kMaxHeaderBytes) throw FileError(source_.name(), FillMessage(msg::kPgmHeaderTooLong, Str(kMaxHeaderBytes)));
        const std::size_t old = bytes_.size();
        std::uint64_t want = std::max<std::uint64_t>({2 * old, 512, i + 1});
        want = std::min<std::uint64_t>({want, kMaxHeaderBytes, size});
        bytes_.resize(static_cast<std::size_t>(want));
        source_.read(old, bytes_.data() + old, bytes_.size() - old);
    }

    ByteSource& source_;
    std::vector<std::uint8_t> bytes_;
};

struct Header {
    std::string magic;
    std::string secondWord;   // first blank-separated word after the magic, for diag
    bool hasComment = false;  // a comment directly follows the magic
    std::string comment;      // its text, leading blanks removed
    int width = 0;
    int height = 0;
    int maxValue = 0;
    int bytesPerPixel = 3;
    std::uint64_t dataOffset = 0;
};

class HeaderParser {
public:
    explicit HeaderParser(ByteSource& source) : source_(source), bytes_(source) {}

    Header parse() {
        Header h;
        while (IsBlank(bytes_.at(pos_))) ++pos_;
        h.magic = word();
        if (h.magic.empty()) fail(msg::kPgmNoMagic);
        h.bytesPerPixel = bytesPerPixelOf(h.magic);

        h.secondWord = secondWord();
        skipBlanksAndComments(&h);

        h.width = readSize(msg::kPgmWidth);
        h.height = readSize(msg::kPgmHeight);
        h.maxValue = readMaxValue();

        // Exactly one separator byte. A comment right after the maximum value ends with its
        // line break, which then is the separator.
        const int c = bytes_.at(pos_);
        if (c == '#') {
            skipComment();
            if (bytes_.at(pos_) != -1) ++pos_;
        } else if (c != -1) {
            ++pos_;  // a blank: the token ended there
        }
        h.dataOffset = pos_;
        return h;
    }

private:
    [[noreturn]] void fail(const std::string& problem) { throw FileError(source_.name(), problem); }

    int bytesPerPixelOf(const std::string& magic) {
        if (magic == "P1") fail(msg::kPgmBitmapText);
        if (magic == "P2") fail(msg::kPgmGreyText);
        if (magic == "P3") fail(msg::kPgmColourText);
        if (magic == "P4") fail(msg::kPgmBitmapBinary);
        if (magic == "P7") fail(msg::kPgmTaggedHeader);
        return magic == "P5" ? 1 : 3;
    }

    // A run of bytes that are neither blank nor the start of a comment (so a file that
    // starts with a comment has no magic word).
    std::string word() {
        const std::size_t start = pos_;
        for (;;) {
            const int c = bytes_.at(pos_);
            if (c == -1 || c == '#' || IsBlank(c)) break;
            if (pos_ - start >= kMaxWordBytes) fail(FillMessage(msg::kPgmWordTooLong, Str(kMaxWordBytes)));
            ++pos_;
        }
        return std::string(bytes_.text(start, pos_));
    }

    // The blank-separated word after the magic, without moving on.
    std::string secondWord() {
        std::size_t i = pos_;
        while (IsBlank(bytes_.at(i))) ++i;
        const std::size_t start = i;
        for (int c = bytes_.at(i); c != -1 && !IsBlank(c) && i - start < kMaxWordBytes; c = bytes_.at(++i)) {
        }
        return std::string(bytes_.text(start, i));
    }

    // Skips to the end of a comment's line; pos_ then stands on the line break (or the end).
    void skipComment() {
        for (int c = bytes_.at(pos_); c != -1 && c != '\n' && c != '\r'; c = bytes_.at(++pos_)) {
        }
    }

    // Blanks and comments before the next token. The first comment is recorded in h when
    // given (only directly after the magic, as the progress lines report it).
    void skipBlanksAndComments(Header* h = nullptr) {
        for (;;) {
            while (IsBlank(bytes_.at(pos_))) ++pos_;
            if (bytes_.at(pos_) != '#') return;
            ++pos_;
            while (bytes_.at(pos_) == ' ' || bytes_.at(pos_) == '\t') ++pos_;
            const std::size_t start = pos_;
            skipComment();
            if (h && !h->hasComment) {
                h->hasComment = true;
                h->comment = std::string(bytes_.text(start, pos_));
            }
        }
    }

    // The next number token; saturates far above every limit so that long digit runs cannot
    // overflow. Returns the token text as well for messages.
    long long readNumber(const char* what, std::string& token) {
        skipBlanksAndComments();
        if (bytes_.at(pos_) == -1) fail(FillMessage(msg::kPgmMissing, what));
        token = word();
        std::size_t i = token[0] == '-' ? 1 : 0;
        if (i == token.size()) fail(FillMessage(msg::kPgmNotNumber, what, token));
        long long value = 0;
        for (; i < token.size(); ++i) {
            const char c = token[i];
            if (c < '0' || c > '9') fail(FillMessage(msg::kPgmNotNumber, what, token));
            value = std::min(value * 10 + (c - '0'), 1'000'000'000LL);
        }
        return token[0] == '-' ? -value : value;
    }

    int readSize(const char* what) {
        std::string token;
        const long long v = readNumber(what, token);
        if (v < 1) fail(FillMessage(msg::kPgmSizeTooSmall, what, token));
        if (v > kPgmMaxSide) fail(FillMessage(msg::kPgmSizeTooLarge, what, token, Str(kPgmMaxSide)));
        return static_cast<int>(v);
    }

    int readMaxValue() {
        std::string token;
        const long long v = readNumber(msg::kPgmMaxValue, token);
        if (v < 0) fail(FillMessage(msg::kPgmMaxValueNegative, token));
        if (v > kMaxSampleValue) fail(FillMessage(msg::kPgmMaxValueTooLarge, token, Str(kMaxSampleValue)));
        return static_cast<int>(v);
    }

    ByteSource& source_;
    HeaderBytes bytes_;
    std::size_t pos_ = 0;
};

// The progress lines of one header pass.
void WriteHeaderPass(std::ostream& diag, const Header& h) {
    diag << h.secondWord << ' ' << h.magic << '\n';
    if (h.hasComment) diag << h.comment << '\n' << "if\n";
}

// Samples arrive row by row; the arrays hold columns. Blocks of kRows rows are spread out
// column by column, so each column receives one cache line per channel at a time while the
// block's rows stay in cache.
void SpreadSamples(const std::uint8_t* samples, int bytesPerPixel, PgmColour& img) {
    constexpr int kRows = 16;
    const int w = img.width, h = img.height;
    const std::size_t rowBytes = std::size_t(w) * std::size_t(bytesPerPixel);
    for (int y0 = 0; y0 < h; y0 += kRows) {
        const int y1 = std::min(h, y0 + kRows);
        const std::uint8_t* block = samples + std::size_t(y0) * rowBytes;
        for (int x = 0; x < w; ++x) {
            std::int32_t* r = img.R[x];
            std::int32_t* g = img.G[x];
            std::int32_t* b = img.B[x];
            const std::uint8_t* p = block + std::size_t(x) * std::size_t(bytesPerPixel);
            if (bytesPerPixel == 3) {
                for (int y = y0; y < y1; ++y, p += rowBytes) {
                    r[y] = p[0];
                    g[y] = p[1];
                    b[y] = p[2];
                }
            } else {
                for (int y = y0; y < y1; ++y, p += rowBytes) r[y] = g[y] = b[y] = p[0];
            }
        }
    }
}

}  // namespace

PgmColour ReadPgmColour(const std::string& path, std::ostream* diag) {
    return ReadPgmColour(*OpenFile(path, diag, kPgmOpenDiagnostic), diag);
}

PgmColour ReadPgmColour(ByteSource& source, std::ostream* diag) {
    if (diag) *diag << "declared\n";
    const Header h = HeaderParser(source).parse();

    // Both sides are at most kPgmMaxSide, so the product fits 64 bits with room to spare.
    const std::uint64_t need = std::uint64_t(h.width) * std::uint64_t(h.height) * std::uint64_t(h.bytesPerPixel);
    if (diag) {
        // The header used to be read twice; both passes report the same lines.
        WriteHeaderPass(*diag, h);
        WriteHeaderPass(*diag, h);
        *diag << h.width << ' ' << h.height << ' ' << need << '\n';
        *diag << h.height << ' ' << h.width << '\n';
    }

    // Everything is checked against the file's size before any memory is taken.
    const std::uint64_t size = source.size();
    const std::uint64_t have = size > h.dataOffset ? size - h.dataOffset : 0;
    if (have < need) throw FileError(source.name(), FillMessage(msg::kPgmTruncated, Str(have), Str(need)));

    if (diag) *diag << "opened head\n" << "extended  unsigned char 1D \n";
    PgmColour img;
    std::unique_ptr<std::uint8_t[]> samples;
    try {
        samples = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(need));
        img.R = IntArray2D(h.width, h.height);
        img.G = IntArray2D(h.width, h.height);
        img.B = IntArray2D(h.width, h.height);
    } catch (const std::bad_alloc&) {
        if (diag) *diag << msg::kAllocError;
        throw FileError(source.name(), FillMessage(msg::kPgmNoMemory, Str(h.width), Str(h.height)));
    }
    img.width = h.width;
    img.height = h.height;
    if (diag) *diag << "extended\n" << "reading ...\n";

    source.read(h.dataOffset, samples.get(), static_cast<std::size_t>(need));
    SpreadSamples(samples.get(), h.bytesPerPixel, img);
    return img;
}

}  // namespace nuvak
