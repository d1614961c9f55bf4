#include "language_tool/settings_value.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tamsel {
namespace {

TEST(LineBreakEscape, ReplacesOnlyCrLfPairsAndRoundTrips) {
    EXPECT_EQ(EscapeLineBreaks(L"a\r\nb"), L"a%crb");
    EXPECT_EQ(EscapeLineBreaks(L"\r\n\r\n"), L"%cr%cr");
    EXPECT_EQ(EscapeLineBreaks(L"a\rb\nc\n\r"), L"a\rb\nc\n\r"); // lone or reversed: kept
    EXPECT_EQ(EscapeLineBreaks(L"\r\r\n"), L"\r%cr");

    EXPECT_EQ(UnescapeLineBreaks(L"a%crb"), L"a\r\nb");
    EXPECT_EQ(UnescapeLineBreaks(L"%cr%cr"), L"\r\n\r\n");
    EXPECT_EQ(UnescapeLineBreaks(L"%CR%Cr"), L"%CR%Cr"); // case-sensitive
    EXPECT_EQ(UnescapeLineBreaks(L"%%crr"), L"%\r\nr");
    EXPECT_EQ(UnescapeLineBreaks(L"%c"), L"%c");

    EXPECT_EQ(UnescapeLineBreaks(EscapeLineBreaks(L"one\r\ntwo\r\n")), L"one\r\ntwo\r\n");
}

TEST(NumericTest, AcceptsNumberFormsAroundBlanks) {
    struct Case {
        const wchar_t* text;
        double value;
    };
    const Case numbers[] = {
        {L"1", 1},
        {L"01", 1},
        {L" 1 ", 1},
        {L"\t1", 1},
        {L"1.0", 1},
        {L"+1", 1},
        {L"-1", -1},
        {L"1.", 1},
        {L".5", 0.5},
        {L"1e0", 1},
        {L"10E-1", 1},
        {L"0.1e+1", 1},
        {L"&H1", 1},
        {L"&h1f", 31},
        {L"&HfF", 255},
        {L"&O17", 15},
        {L"&o0", 0},
        {L"0", 0},
        {L"-0", 0},
        {L"000", 0},
        {L"2", 2},
        {L"1e999", HUGE_VAL},
        // Beyond a double: too small is zero, too large is infinite, each with its sign.
        {L"1e-400", 0},
        {L"-1e-400", 0},
        {L"0.00001e-330", 0},
        {L"-1e400", -HUGE_VAL},
        {L"123456e-5000000000000000000000", 0},
        {L"0.001e400", HUGE_VAL},
    };
    for (const Case& c : numbers) {
        const std::optional<double> parsed = ParseNumber(c.text);
        ASSERT_TRUE(parsed.has_value()) << static_cast<int>(std::wstring(c.text).size());
        EXPECT_EQ(*parsed, c.value);
    }
}

TEST(NumericTest, RejectsTextsThatAreNoNumber) {
    for (const wchar_t* text :
         {L"",  L"   ", L"yes", L"1x",  L"x1",  L"1 1", L"1..0", L"e1",  L"1e",  L"1e+",   L"+",
          L"-", L".",   L"&H",  L"&HG", L"&O8", L"&X1", L"&",    L"1,0", L"0x1", L"\u0661"}) {
        EXPECT_FALSE(ParseNumber(text).has_value()) << static_cast<int>(std::wstring(text).size());
    }
}

TEST(NumericTest, ValueEqualsTreatsEmptyAsZeroAndNonNumbersAsUnequal) {
    EXPECT_TRUE(ValueEquals(std::nullopt, 0));
    EXPECT_FALSE(ValueEquals(std::nullopt, 1));
    EXPECT_TRUE(ValueEquals(L"01", 1));
    EXPECT_TRUE(ValueEquals(L" 1 ", 1));
    EXPECT_TRUE(ValueEquals(L"&H1", 1));
    EXPECT_FALSE(ValueEquals(L"2", 1));
    EXPECT_FALSE(ValueEquals(L"2", 0));
    EXPECT_FALSE(ValueEquals(L"yes", 1));
    EXPECT_FALSE(ValueEquals(L"yes", 0)); // a broken "FirstStart" is not a later start
    EXPECT_FALSE(ValueEquals(L"1.5", 1));
    EXPECT_TRUE(ValueEquals(L"0.0", 0));
}

} // namespace
} // namespace tamsel
