#include "platform/system/text.h"

#include <stdexcept>

#include "resources/messages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

namespace nuvak::platform {

std::string ToCodePage932(const std::string& utf8) {
#ifdef _WIN32
    // Decoded here rather than by MultiByteToWideChar so that both systems agree: a character
    // beyond the 16-bit plane is one '?' (not one per surrogate), and the JIS forms of a few
    // symbols reach the code page's own (iconv maps both; Windows only the latter).
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char lead = byte(i);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::size_t n = 1;
        while (n < length && i + n < utf8.size() && (byte(i + n) & 0xC0) == 0x80) ++n;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
        const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        const bool valid =
            length == 1 ? lead < 0x80
                        : n == length && lead < 0xF5 && c >= least && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        i += n;
        if (!valid || c > 0xFFFF) {
            wide += L'?';
            continue;
        }
        switch (c) {
            case 0x301C: c = 0xFF5E; break;  // wave dash
            case 0x2016: c = 0x2225; break;  // double vertical line
            case 0x2212: c = 0xFF0D; break;  // minus sign
            case 0x2014: c = 0x2015; break;  // em dash
            case 0x00A2: c = 0xFFE0; break;  // cent
            case 0x00A3: c = 0xFFE1; break;  // pound
            case 0x00AC: c = 0xFFE2; break;  // not sign
            default: break;
        }
        wide += static_cast<wchar_t>(c);
    }
    if (wide.empty()) return {};
    // No best fit: a character the code page lacks is '?', as iconv has it, not a look-alike.
    const int size = int(wide.size());
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, "?", nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), n, "?", nullptr);
    return out;
#else
    iconv_t cd = iconv_open("CP932", "UTF-8");
    // iconv_open's failure is the handle (iconv_t)-1.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (cd == iconv_t(-1)) throw std::runtime_error(msg::kNoCodePage932);
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr - buffer);
        if (rc != std::size_t(-1)) continue;
        if (errno == E2BIG) continue;
        // A character the code page lacks, or bytes that are not UTF-8: one '?' for the
        // whole character, then go on after it.
        out += '?';
        // The character is its lead byte and the continuation bytes that follow it.
        std::size_t skip = 1;
        const unsigned char lead = static_cast<unsigned char>(*in);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        while (skip < length && skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return out;
#endif
}

}  // namespace nuvak::platform
