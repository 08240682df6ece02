#pragma once
// A small JSON writer: string literals, numbers that read back exactly, one-level objects.

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvak {

// An object's members in order: compact ({"a":1,"b":2}), or with an indent one member a line
// at that indent and the closing brace two columns left of it.
class JsonObject {
public:
    explicit JsonObject(int indent = 0) : indent_(indent) {}
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, int value) { return add(key, std::int64_t(value)); }
    // Shortest text that reads back as the same double; null for NaN and infinities.
    JsonObject& add(std::string_view key, double value);
    // A value already written as JSON (a nested object or an array).
    JsonObject& addRaw(std::string_view key, std::string_view json);

    std::string str() const;

private:
    void key(std::string_view k);
    int indent_ = 0;
    std::string body_;
};

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);
// The shortest text that reads back as the same double; null for NaN and infinities.
std::string JsonNumber(double value);

// An array of the items' JSON (item(value) for each value), separated by separator.
template <class Range, class Item>
std::string JsonArray(const Range& values, Item item, std::string_view separator = ",") {
    std::string out = "[";
    bool first = true;
    for (const auto& v : values) {
        if (!first) out += separator;
        first = false;
        out += item(v);
    }
    return out + "]";
}

}  // namespace nuvak
