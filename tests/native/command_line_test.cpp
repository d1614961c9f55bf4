#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(CommandLine, ArgumentsAreTheTextBehindTheProgramName) {
    struct Case {
        const wchar_t* line;
        const wchar_t* arguments;
    };
    const Case cases[] = {
        {L"Ironvale.exe", L""},
        {L"Ironvale.exe ", L""},
        {L"C:\\Games\\Ironvale.exe 1.2.3.4", L"1.2.3.4"},
        {L"\"C:\\My Games\\Ironvale.exe\" \"ivl://host:27015/\"", L"\"ivl://host:27015/\""},
        {L"\"C:\\My Games\\Ironvale.exe\"\"ivl://x\"", L""}, // no blank: all one name
        {L"\"C:\\My Games\\Ironvale.exe\"  \t a  b ", L"a  b "},
        {L"\"unterminated name", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArgumentsAfterProgramName(c.line), c.arguments);
    }
}

} // namespace
} // namespace platform
