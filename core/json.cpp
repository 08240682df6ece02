#include "core/json.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/format.h"

namespace nuvak {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (const std::size_t n = utf8Length(text, i)) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value) { return std::isfinite(value) ? FormatShortest(value) : "null"; }

void JsonObject::key(std::string_view k) {
    if (indent_ > 0) {
        body_ += (body_.empty() ? "\n" : ",\n") + std::string(std::size_t(indent_), ' ') + JsonString(k) + ": ";
        return;
    }
    if (!body_.empty()) body_ += ",";
    body_ += JsonString(k) + ":";
}

std::string JsonObject::str() const {
    if (indent_ > 0) return "{" + body_ + "\n" + std::string(std::size_t(std::max(indent_ - 2, 0)), ' ') + "}";
    return "{" + body_ + "}";
}

JsonObject& JsonObject::add(std::string_view k, std::string_view text) {
    key(k);
    body_ += JsonString(text);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, std::int64_t value) {
    key(k);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, double value) {
    key(k);
    body_ += JsonNumber(value);
    return *this;
}

JsonObject& JsonObject::addRaw(std::string_view k, std::string_view json) {
    key(k);
    body_ += json;
    return *this;
}

}  // namespace nuvak
