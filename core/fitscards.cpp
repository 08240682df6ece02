#include "core/fitscards.h"

namespace nuvak {

namespace {

constexpr std::size_t kCardBytes = 80;

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::string_view FitsValueField(std::string_view card) {
    if (card.size() < 9 || card[8] != '=') return {};
    std::string_view v = card.substr(9);
    if (const auto slash = v.find('/'); slash != std::string_view::npos) v = v.substr(0, slash);
    return trimBlanks(v);
}

std::optional<std::string> HeaderValue(std::string_view cards, std::string_view keyword) {
    if (keyword.size() > 8) return std::nullopt;
    std::string key(keyword);
    key.resize(8, ' ');
    for (std::size_t at = 0; at + 8 <= cards.size(); at += kCardBytes) {
        const std::string_view card = cards.substr(at, kCardBytes);
        if (card.substr(0, 8) == "END     ") break;
        if (card.substr(0, 8) != key) continue;
        if (card.size() < 9 || card[8] != '=') return std::nullopt;
        // A string may hold a "/": it is read from its opening quote, not from the field.
        const std::string_view rest = card.substr(9);
        const auto start = rest.find_first_not_of(' ');
        if (start != std::string_view::npos && rest[start] == '\'') {
            std::string text;
            for (std::size_t k = start + 1;; ++k) {
                if (k >= rest.size()) return std::nullopt;  // no closing quote
                if (rest[k] != '\'') {
                    text += rest[k];
                } else if (k + 1 < rest.size() && rest[k + 1] == '\'') {
                    text += '\'';
                    ++k;
                } else {
                    break;
                }
            }
            text.erase(text.find_last_not_of(' ') + 1);
            return text;
        }
        const std::string_view value = FitsValueField(card);
        if (value.empty()) return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace nuvak
