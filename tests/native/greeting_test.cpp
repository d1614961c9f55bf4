#include "language_tool/greeting.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

TEST(Greeting, JoinsNameAndSentenceExactly) {
    EXPECT_EQ(Greeting(L"player1", false),
              L"Hello player1,\r\nPlease choose the language you want to use in Ironvale");
    EXPECT_EQ(Greeting(L"player1", true),
              L"Hello player1,\r\nPlease choose the languages you want to implement in the "
              L"Vantoline!");
    const std::wstring blanks(256, L' ');
    EXPECT_EQ(Greeting(blanks, true).substr(0, 6 + 256 + 3), L"Hello " + blanks + L",\r\n");
}

TEST(Greeting, FirstStartUnlessFirstStartEqualsZero) {
    EXPECT_TRUE(IsFirstStart(L"1")); // the default when the file or key is missing
    EXPECT_TRUE(IsFirstStart(L"2"));
    EXPECT_TRUE(IsFirstStart(L"no")); // not a number: offer the selection again
    EXPECT_FALSE(IsFirstStart(L"0"));
    EXPECT_FALSE(IsFirstStart(L" 00 "));
    EXPECT_FALSE(IsFirstStart(std::nullopt)); // present but empty
}

TEST(Greeting, UserNameIsCutAtTheFirstNul) {
    std::wstring buffer(256, L' ');
    buffer.replace(0, 8, std::wstring(L"player1\0", 8));
    EXPECT_EQ(NameFromBuffer(buffer), L"player1");
    EXPECT_EQ(NameFromBuffer(std::wstring(256, L' ')), std::wstring(256, L' '));
    EXPECT_EQ(NameFromBuffer(std::wstring(L"\0abc", 4)), L"");
}

} // namespace
} // namespace tamsel
