#pragma once
// Number texts: the general decimal form attributes are written in, the "0.00" label
// pattern, and the strict parses that control texts and attributes go through.

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

namespace nuvak {

// At most 15 significant digits, no trailing zeros, an exponent only for magnitudes of
// 1E15 and above or below 0.00001: 2 -> "2", 1.21 -> "1.21", 0.0625 -> "0.0625".
std::string FormatGeneral(double v);
// The value a general-decimal text reads back as (what an attribute holds after writing).
double GeneralDecimal(double v);

// Strict integer: optional leading blanks, optional sign, digits, nothing after; in 32 bits.
// Throws ConversionError (msg::kNotInteger).
int ParseInt(std::string_view text);
// Real number with a period; throws ConversionError (msg::kNotReal).
double ParseReal(std::string_view text);

// A message with its "{}" marks replaced by the arguments, in order (numbers in decimal).
namespace detail {
std::string fillMessage(std::string_view pattern, std::initializer_list<std::string> args);
inline std::string messageText(const std::string& s) { return s; }
inline std::string messageText(std::string_view s) { return std::string(s); }
inline std::string messageText(const char* s) { return s; }
template <std::integral T>
std::string messageText(T v) {
    return std::to_string(v);
}
}  // namespace detail
template <class... Args>
std::string FillMessage(std::string_view pattern, const Args&... args) {
    return detail::fillMessage(pattern, {detail::messageText(args)...});
}

// File-name helpers with the separators of the platform ('/' everywhere, '\\' and ':' on Windows).
bool IsPathSeparator(char c);
std::string FileNameOf(const std::string& path);
// Replaces the extension (from the last '.' of the file name) or adds it when there is none.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// The extension of the file name, lower case, with its dot ("" when there is none).
std::string LowerExtension(const std::string& path);

// C's %g: six significant digits, no trailing zeros (0.5, 0.333333, 2e+06), in the C locale.
std::string FormatG6(double v);
// C's %.*g and %.*f as the C locale writes them, whatever locale the process runs under:
// every number a file or page of ours holds goes through these or the ones above, never
// through printf, which would write a decimal comma under such a locale.
std::string FormatSignificant(double v, int digits);
std::string FormatDecimals(double v, int decimals);
// The value with a fixed number of decimals, rounded half away from zero on the exact value
// (2.675 -> "2.68"); a value that rounds to zero has no minus sign ("0.00" for -0.0006).
std::string FormatFixed(double value, int decimals);
// The shortest text that reads back as the same double (to_chars' round trip).
std::string FormatShortest(double v);

}  // namespace nuvak
