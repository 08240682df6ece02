#include "core/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "core/error.h"
#include "resources/messages.h"

namespace nuvak {

std::string FormatGeneral(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    // 15 significant digits and the decimal exponent, rounded once.
    // to_chars ignores the C locale, which a GUI toolkit may set to one with a decimal comma.
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string s(buf, end);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const auto e = s.find('e');
    const int exponent = std::atoi(s.c_str() + e + 1);
    std::string digits(1, s[0]);
    digits.append(s, 2, e - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        if (int(digits.size()) <= exponent + 1) {
            out += digits + std::string(exponent + 1 - digits.size(), '0');
        } else {
            out += digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
        }
    } else {
        out += "0." + std::string(-exponent - 1, '0') + digits;
    }
    return out;
}

double GeneralDecimal(double v) {
    if (!std::isfinite(v)) return v;
    // from_chars reads a period whatever the C locale says.
    const std::string text = FormatGeneral(v);
    double back = v;
    std::from_chars(text.data(), text.data() + text.size(), back);
    return back;
}

int ParseInt(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || t.front() == '-' || end != t.data() + t.size() || ec != std::errc() ||
        (negative ? -v : v) < std::numeric_limits<int>::min() ||
        (negative ? -v : v) > std::numeric_limits<int>::max()) {
        throw ConversionError(FillMessage(msg::kNotInteger, std::string(text)));
    }
    return static_cast<int>(negative ? -v : v);
}

double ParseReal(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    std::string_view digits = t;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (digits.empty() || digits.front() == '+' || end != digits.data() + digits.size() || ec != std::errc() ||
        !std::isfinite(v)) {
        throw ConversionError(FillMessage(msg::kNotReal, std::string(text)));
    }
    return v;
}

std::string detail::fillMessage(std::string_view pattern, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' && arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

namespace {

std::size_t nameStart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1])) return i;
    return 0;
}

}  // namespace

std::string FileNameOf(const std::string& path) { return path.substr(nameStart(path)); }

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart(path)) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string LowerExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart(path)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

std::string FormatG6(double v) { return FormatSignificant(v, 6); }

// to_chars writes exactly what printf writes in the C locale, and ignores the locale set.
std::string FormatSignificant(double v, int digits) {
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, std::max(digits, 1));
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string FormatDecimals(double v, int decimals) {
    char buf[400];  // room for the largest double in fixed form
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::clamp(decimals, 0, 60));
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string FormatFixed(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 15);
    double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;  // exact: powers of ten up to 1e22 are doubles
    const double a = std::fabs(value);
    const double scaled = a * scale;
    char buf[400];
    if (!std::isfinite(value) || !(scaled < 0x1p51)) {
        // Out of the range where the rounding below is exact; no fraction is visible there anyway.
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
        return ec == std::errc() ? std::string(buf, end) : std::string("0");
    }
    // r = floor(a * scale + 0.5) for the exact product: the rounded product may sit on the other
    // side of a half (2.675 is stored below 2.675 but 2.675 * 100 rounds to 267.5), so the
    // candidate is corrected with fused multiply-adds, whose single rounding keeps the sign of
    // a * scale - (r +- 0.5) exact.
    double r = std::floor(scaled + 0.5);
    while (r > 0 && std::fma(a, scale, -(r - 0.5)) < 0) r -= 1;
    while (std::fma(a, scale, -(r + 0.5)) >= 0) r += 1;

    const auto units = static_cast<std::uint64_t>(r);
    std::uint64_t unitScale = 1;
    for (int i = 0; i < decimals; ++i) unitScale *= 10;
    std::string out = value < 0 && units != 0 ? "-" : "";
    out += std::to_string(units / unitScale);
    if (decimals > 0) {
        std::string fraction = std::to_string(units % unitScale);
        out += '.';
        out += std::string(decimals - fraction.size(), '0') + fraction;
    }
    return out;
}

std::string FormatShortest(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

}  // namespace nuvak
