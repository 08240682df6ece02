#pragma once
// A small JSON writer: string literals, numbers that read back exactly, one-level objects.

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvak {

class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, int value) { return add(key, std::int64_t(value)); }
    // Shortest text that reads back as the same double; null for NaN and infinities.
    JsonObject& add(std::string_view key, double value);
    // A value already written as JSON (a nested object or an array).
    JsonObject& addRaw(std::string_view key, std::string_view json);

    std::string str() const { return "{" + body_ + "}"; }

private:
    void key(std::string_view k);
    std::string body_;
};

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);
std::string JsonNumber(double value);

}  // namespace nuvak
