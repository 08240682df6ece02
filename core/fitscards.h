#pragma once
// FITS header cards, read by one rule everywhere: 80 bytes each, the keyword in columns 1-8,
// the value indicator "=" in column 9, the value after it up to a "/" comment.

#include <optional>
#include <string>
#include <string_view>

namespace nuvak {

// The value field of a card: after "=" in column 9 up to a comment's "/", without the blanks
// about it; empty when the card has no value indicator. Fixed-format writers right-align it
// to column 30; free-format ones put it anywhere.
std::string_view FitsValueField(std::string_view card);

// The value of the first card with the keyword before END in the header's cards: the text of
// a string value (its quotes undone, '' read as one quote, trailing blanks dropped), else the
// value field; nothing when no card has the keyword, its value is empty or its string is not
// closed.
std::optional<std::string> HeaderValue(std::string_view cards, std::string_view keyword);

}  // namespace nuvak
