#include <gtest/gtest.h>

#include <cstdio>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {
namespace {

TEST(GeneralDecimal, FifteenSignificantDigitsWithoutTrailingZeros) {
    const std::pair<double, const char*> rows[] = {
        {2, "2"},           {1.21, "1.21"},           {1.1 * 1.1, "1.21"},  {0.0625, "0.0625"},
        {16, "16"},         {1200, "1200"},           {-3.5, "-3.5"},        {0, "0"},
        {1.0 / 3, "0.333333333333333"},               {1234.5678901234567, "1234.56789012346"},
        {0.00001, "0.00001"}, {0.000001, "1E-6"},     {1e15, "1E15"},        {123456789012345.0, "123456789012345"},
        {2.5e20, "2.5E20"}, {999999999999999.9, "1E15"},
    };
    for (const auto& [v, text] : rows) EXPECT_EQ(FormatGeneral(v), text) << v;
    EXPECT_EQ(GeneralDecimal(1.0 / 3), 0.333333333333333);
}

// The locale-free forms write what printf writes in the C locale, up to the largest doubles.
TEST(PrintfForms, SignificantDigitsAndDecimalsAsTheCLocale) {
    const double values[] = {0, -0.0, 0.5, 2.675, -0.004, 1.0 / 3, 123456.789, 1e-7, 6.02e23, -1.7976931348623157e308};
    for (double v : values)
        for (int n : {0, 1, 3, 6, 17}) {
            char g[512], f[512];
            std::snprintf(g, sizeof g, "%.*g", n, v);
            std::snprintf(f, sizeof f, "%.*f", n, v);
            EXPECT_EQ(FormatSignificant(v, n), g) << v << " " << n;
            EXPECT_EQ(FormatDecimals(v, n), f) << v << " " << n;
        }
}

TEST(StrictParses, IntegersAndRealsOrTheConversionError) {
    EXPECT_EQ(ParseInt("42"), 42);
    EXPECT_EQ(ParseInt("  -7"), -7);
    EXPECT_EQ(ParseInt("+3"), 3);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    for (const char* bad : {"", " ", "3000 ", "1.5", "abc", "--1", "+-1", "2147483648", "0x10"}) {
        try {
            ParseInt(bad);
            ADD_FAILURE() << "parsed '" << bad << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), FillMessage(msg::kNotInteger, bad));
        }
    }
    EXPECT_EQ(ParseReal("7.4"), 7.4);
    EXPECT_EQ(ParseReal("-0.5"), -0.5);
    EXPECT_EQ(ParseReal("1e3"), 1000);
    for (const char* bad : {"", "7,4", "nan", "inf", "1.0.0", "x"}) {
        try {
            ParseReal(bad);
            ADD_FAILURE() << "parsed '" << bad << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), FillMessage(msg::kNotReal, bad));
        }
    }
}

TEST(FileNames, ExtensionsAreReplacedOrAdded) {
    EXPECT_EQ(ChangeFileExt("/a/b/pic.jpg", ".bmp"), "/a/b/pic.bmp");
    EXPECT_EQ(ChangeFileExt("/a/b.d/pic", ".bmp"), "/a/b.d/pic.bmp");
    EXPECT_EQ(ChangeFileExt("pic.tar.gz", ".jpg"), "pic.tar.jpg");
    EXPECT_EQ(ChangeFileExt("pic.", ".jpg"), "pic.jpg");
    EXPECT_EQ(FileNameOf("/a/b/m42.fits"), "m42.fits");
    EXPECT_EQ(FileNameOf("m42.fits"), "m42.fits");
    EXPECT_EQ(LowerExtension("X.FiTs"), ".fits");
    EXPECT_EQ(LowerExtension("/a.b/x"), "");
}

}  // namespace
}  // namespace nuvak
