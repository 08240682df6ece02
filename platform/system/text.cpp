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
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), wide);
    const int n = WideCharToMultiByte(932, 0, w.data(), wide, nullptr, 0, "?", nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(932, 0, w.data(), wide, out.data(), n, "?", nullptr);
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
