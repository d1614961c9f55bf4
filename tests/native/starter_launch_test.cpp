#include "game_starter/launch.h"

#include <gtest/gtest.h>

#include <string>

namespace ironvale {
namespace {

using Action = Launch::Action;

constexpr wchar_t kGame[] = L"C:\\Games\\Iron Vale\\hl2.exe";
const std::wstring kStart = L"\"C:\\Games\\Iron Vale\\hl2.exe\" -game ivale -console +connect ";
const std::wstring kAsk =
    L"Ironvale has been started by an external program.\r\nParameter: -game ivale -console "
    L"+connect ";
const std::wstring kBad = L"The link does not name a valid server address:\r\n";

TEST(Launch, FixedTexts) {
    EXPECT_EQ(kScheme, L"ivl");
    EXPECT_EQ(GamePath(L"C:\\Games\\Iron Vale"), kGame);
    EXPECT_EQ(GamePath(L"C:\\"), L"C:\\\\hl2.exe"); // joined as it stands
}

TEST(Launch, CommandTextLosesEveryDoubleQuote) {
    EXPECT_EQ(CommandText(L"\"ivl://host:27015/\""), L"ivl://host:27015/");
    EXPECT_EQ(CommandText(L"\"ivl://ho\"st\""), L"ivl://host");
    EXPECT_EQ(CommandText(L"a \"b c\" \"\"d"), L"a b c d");
    EXPECT_EQ(CommandText(L"\"\"\""), L"");
}

// From the arguments as the platform hands them over (quotes and all) and the game file to
// what the starter does.
TEST(Launch, DecisionTable) {
    struct Case {
        const wchar_t* arguments;
        GameFile game;
        Action action;
        std::wstring message;
        std::wstring commandLine;
    };
    const Case cases[] = {
        // No argument: the game at once, nothing behind "+connect ".
        {L"", GameFile::Present, Action::StartAtOnce, L"", kStart},
        {L"", GameFile::Missing, Action::StartAtOnce, L"", kStart},
        {L"", GameFile::Empty, Action::EndSilently, L"", L""},
        // A link as the shell passes it: ask first; the slash at the end stays.
        {L"\"ivl://host:27015/\"", GameFile::Present, Action::Confirm, kAsk + L"host:27015/",
         kStart + L"host:27015/"},
        {L"\"ivl://host:27015/\"", GameFile::Missing, Action::Confirm, kAsk + L"host:27015/",
         kStart + L"host:27015/"},
        {L"\"ivl://host:27015/\"", GameFile::Empty, Action::EndSilently, L"", L""},
        {L"ivl://[::1]:27015", GameFile::Present, Action::Confirm, kAsk + L"[::1]:27015",
         kStart + L"[::1]:27015"},
        {L"\"ivl://\"", GameFile::Present, Action::Confirm, kAsk, kStart},
        // Quotes go before anything is tested.
        {L"\"ivl://ho\"st\"", GameFile::Present, Action::Confirm, kAsk + L"host", kStart + L"host"},
        {L"\"ivl://host\" \"+exec x\"", GameFile::Present, Action::Reject, kBad + L"host +exec x",
         L""},
        // Links that would add arguments or commands of their own.
        {L"\"ivl://host +exec evil\"", GameFile::Present, Action::Reject, kBad + L"host +exec evil",
         L""},
        {L"\"ivl://-insecure\"", GameFile::Missing, Action::Reject, kBad + L"-insecure", L""},
        {L"\"ivl://host;quit\"", GameFile::Empty, Action::EndSilently, L"", L""},
        // The scheme in another spelling is no link: no question, the text goes behind
        // "+connect " whole; but the shell hands such texts over too, so they are checked.
        {L"\"IVL://x\"", GameFile::Present, Action::StartAtOnce, L"", kStart + L"IVL://x"},
        {L"Ivl://x", GameFile::Present, Action::StartAtOnce, L"", kStart + L"Ivl://x"},
        {L"ivl:/", GameFile::Present, Action::StartAtOnce, L"", kStart + L"ivl:/"},
        {L"\"IVL://x +exec evil\"", GameFile::Present, Action::Reject, kBad + L"x +exec evil", L""},
        {L"\"ivl:x;quit\"", GameFile::Missing, Action::Reject, kBad + L"x;quit", L""},
        // The box shows a refused text defused: no line of its own, no reordering.
        {L"\"ivl://host\r\n\u202e+quit\"", GameFile::Present, Action::Reject,
         kBad + L"host???+quit", L""},
        {L"IVL://h\u202ex", GameFile::Present, Action::Reject, kBad + L"h?x", L""},
        {L"iVl:-insecure", GameFile::Present, Action::Reject, kBad + L"-insecure", L""},
        // Otherwise the local user's text goes behind "+connect " whole, unchecked.
        {L"10.0.0.5:27015 +exec my.cfg", GameFile::Present, Action::StartAtOnce, L"",
         kStart + L"10.0.0.5:27015 +exec my.cfg"},
        {L"x ivl://y", GameFile::Missing, Action::StartAtOnce, L"", kStart + L"x ivl://y"},
        {L"10.0.0.5", GameFile::Empty, Action::EndSilently, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "arguments: " << testing::PrintToString(std::wstring(c.arguments))
                     << ", game file " << static_cast<int>(c.game));
        const Launch launch = DecideLaunch(CommandText(c.arguments), kGame, c.game);
        EXPECT_EQ(launch.action, c.action);
        EXPECT_EQ(launch.message, c.message);
        EXPECT_EQ(launch.commandLine, c.commandLine);
    }
}

TEST(Launch, GameFolderIsWhereTheGameLies) {
    EXPECT_EQ(GameFolder(kGame), L"C:\\Games\\Iron Vale");
    EXPECT_EQ(GameFolder(GamePath(L"D:")), L"D:\\"); // the root, not the drive's current folder
    EXPECT_EQ(GameFolder(GamePath(L"\\\\host\\share")), L"\\\\host\\share");
}

TEST(Launch, StartFailureNamesTheGameAndTheReason) {
    EXPECT_EQ(
        StartFailureMessage(kGame, L"File not found."),
        L"The game could not be started:\r\nC:\\Games\\Iron Vale\\hl2.exe\r\n\r\nFile not found.");
}

// A refused text as its box shows it. Surrogates are written as code units, so that the
// table means the same where wchar_t has 32 bits.
TEST(RefusedText, ShownCutAndDefused) {
    const std::wstring pair{static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDFAE)};
    const std::wstring a99(99, L'a');
    const std::wstring a100(100, L'a');
    struct Case {
        const char* what;
        std::wstring text;
        std::wstring shown;
    };
    const Case cases[] = {
        {"short text as it stands", L"host;quit", L"host;quit"},
        {"100 characters: no mark", a100, a100},
        {"101 characters: cut and marked", a100 + L"b", a100 + L"\u2026"},
        {"500 characters", std::wstring(500, L'x'), std::wstring(100, L'x') + L"\u2026"},
        {"line breaks and tab", L"a\r\nb\tc", L"a??b?c"},
        {"NUL, unit separator, DEL, C1", std::wstring(L"\0\x1f\x7f\x80\x9f\xa0", 6),
         L"?????\u00a0"},
        {"bidirectional marks and embeddings",
         L"\u061c\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069",
         std::wstring(12, L'?')},
        {"neighbours of the bidirectional ranges stay", L"\u200d\u2029\u202f\u2065\u206a",
         L"\u200d\u2029\u202f\u2065\u206a"},
        {"a pair is one character", a99 + pair, a99 + pair},
        {"a pair at the cut stays whole", a99 + pair + L"b", a99 + pair + L"\u2026"},
        {"a pair after the cut goes whole", a100 + pair, a100 + L"\u2026"},
        {"the mark follows the hidden characters", std::wstring(101, L'\n'),
         std::wstring(100, L'?') + L"\u2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownText(c.text), c.shown) << c.what;
    }
}

TEST(LinkCheck, AcceptsServerAddresses) {
    const std::wstring accepted[] = {
        L"",
        L"host",
        L"host:27015",
        L"host:27015/",
        L"10.0.0.1:27015",
        L"[2001:db8::1]:27015",
        L"play.iron-vale_eu.example:27015/",
        L"a-b",
        L"ivl://",
        std::wstring(100000, L'a'),
    };
    for (const std::wstring& text : accepted) {
        EXPECT_TRUE(IsServerText(text)) << testing::PrintToString(text.substr(0, 40));
    }
}

TEST(LinkCheck, RejectsWhatCouldReachTheCommandLineAsMore) {
    const std::wstring longText(100000, L'a');
    const std::wstring rejected[] = {
        L" ",
        L"host 27015",
        L"\thost",
        L"host\n",
        L"host\r\n+quit",
        L"host;quit",
        L"+exec",
        L"host+exec",
        L"-insecure",
        L"-",
        L"host%20-insecure",
        L"ho\"st",
        L"host'x",
        L"host&x",
        L"host|x",
        L"host\\x",
        L"host@x",
        L"host,x",
        std::wstring(L"host\0x", 6),
        L"h\u00f6st",          // a letter, but not an ASCII one
        L"\uff11\uff10.0.0.1", // full-width digits
        longText + L";",
        longText + L" +exec x",
        L";" + longText,
    };
    for (const std::wstring& text : rejected) {
        EXPECT_FALSE(IsServerText(text)) << testing::PrintToString(text.substr(0, 40));
    }
}

} // namespace
} // namespace ironvale
