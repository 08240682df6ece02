// The one card rule the reader and the report share.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/fitscards.h"

namespace nuvak {
namespace {

std::string card(std::string text) {
    text.resize(80, ' ');
    return text;
}

TEST(FitsCards, OneRuleForValuesAndStrings) {
    struct Row {
        const char* card;
        std::optional<std::string> value;
    } rows[] = {
        {"EXPTIME =                 30.0 / seconds", "30.0"},
        {"EXPTIME =30.0", "30.0"},         // free format, no blank after "="
        {"EXPTIME   30.0", std::nullopt},  // no value indicator in column 9
        {"EXPTIME =                      / nothing", std::nullopt},
        {"DATE-OBS= '2026/12/09T01:02:03'  / a slash in a string", "2026/12/09T01:02:03"},
        {"OBSERVER= 'O''Neil   '", "O'Neil"},
        {"OBSERVER= 'not closed", std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.card);
        const std::string cards = card("SIMPLE  =                    T") + card(r.card) + card("END") +
                                  card(std::string(r.card).substr(0, 8) + "= 'after END'");
        EXPECT_EQ(HeaderValue(cards, std::string(r.card).substr(0, std::string(r.card).find_first_of(" =")).c_str()),
                  r.value);
    }
    EXPECT_EQ(FitsValueField(card("NAXIS1  =                  100 / width")), "100");
    EXPECT_EQ(FitsValueField(card("COMMENT   = 3")), "");
}

}  // namespace
}  // namespace nuvak
