// Number text that must not follow the process locale, and cutting text at character boundaries.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "text/NumberText.h"
#include "text/TextCopy.h"

namespace flanger::text {
namespace {

TEST(NumberText, ParsesPointAndCommaWhateverTheLocale) {
    // Hosts switch the process locale; a decimal-comma one must not turn 2.5 into 2.
    const char* locale = std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_FLOAT_EQ(parseNumber("2.5").value_or(-1), 2.5f);
    EXPECT_FLOAT_EQ(parseNumber("2,5").value_or(-1), 2.5f);
    char text[32];
    formatFixed(2.5, 1, text, sizeof text);
    EXPECT_STREQ(text, "2.5");
    if (locale != nullptr) std::setlocale(LC_ALL, "C");
}

TEST(NumberText, ReadsALeadingNumberAsScanfWould) {
    EXPECT_FLOAT_EQ(parseNumber("  -1.5 Hz").value_or(0), -1.5f);
    EXPECT_FLOAT_EQ(parseNumber("+3").value_or(0), 3.0f);
    EXPECT_FLOAT_EQ(parseNumber("70").value_or(0), 70.0f);
    EXPECT_TRUE(std::isinf(parseNumber("1e60").value_or(0)));
    EXPECT_FALSE(parseNumber("").has_value());
    EXPECT_FALSE(parseNumber("abc").has_value());
    EXPECT_FALSE(parseNumber("--2").has_value());
    EXPECT_FALSE(parseNumber(nullptr).has_value());
}

TEST(NumberText, NanCountsAsUnparsable) {
    EXPECT_FALSE(parseNumber("nan").has_value());
    EXPECT_FALSE(parseNumber("-NaN").has_value());
}

TEST(NumberText, FormatsFixedDecimals) {
    char text[32];
    formatFixed(0.5, 2, text, sizeof text);
    EXPECT_STREQ(text, "0.50");
    formatFixed(-0.25, 1, text, sizeof text);
    EXPECT_STREQ(text, "-0.2");  // ties to even, as printf rounds the binary value
    formatFixed(std::nan(""), 2, text, sizeof text);
    EXPECT_STREQ(text, "nan");
    char tiny[3];
    formatFixed(12345.0, 2, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "");  // does not fit: nothing rather than a cut number
}

TEST(NumberText, CutsOnlyBetweenCharacters) {
    const std::string text = "ab\xC3\xA9";  // "abé": é is two bytes
    EXPECT_EQ(cutAtCharacter(text.data(), text.size(), 3), 2u);
    EXPECT_EQ(cutAtCharacter(text.data(), text.size(), 4), 4u);
    // Bytes that are not UTF-8 are single characters.
    const std::string latin = "a\xE9z";
    EXPECT_EQ(cutAtCharacter(latin.data(), latin.size(), 2), 2u);

    char buffer[256];
    const std::string longText = std::string(254, 'x') + "\xC3\xA9";
    copyText(buffer, longText.c_str(), cutAtCharacter(longText.c_str(), longText.size(), 255));
    EXPECT_EQ(std::string(buffer).size(), 254u);
    copyText(buffer, nullptr, 255);
    EXPECT_STREQ(buffer, "");
    // Host and chunk texts need not be terminated: nothing past the limit is read.
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    copyText(buffer, unterminated, 3);
    EXPECT_STREQ(buffer, "abc");
}

}  // namespace
}  // namespace flanger::text
