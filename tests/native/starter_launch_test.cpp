#include "game_starter/launch.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace ironvale {
namespace {

using Action = Launch::Action;

constexpr wchar_t kGame[] = L"C:\\Games\\Iron Vale\\hl2.exe";
const std::wstring kStart = L"\"C:\\Games\\Iron Vale\\hl2.exe\" -game ivale -console +connect ";
const std::wstring kAsk =
    L"Ironvale has been started by an external program.\r\nParameter: -game ivale -console "
    L"+connect ";
const std::wstring kBad = L"The link does not name a valid server address:\r\n";
const std::wstring kServer255 = std::wstring(249, L'a') + L":27015";
// As a box shows them: in lines of 64.
const std::wstring kServer255Shown = kServer255.substr(0, 64) + L"\r\n" +
                                     kServer255.substr(64, 64) + L"\r\n" +
                                     kServer255.substr(128, 64) + L"\r\n" + kServer255.substr(192);
const std::wstring kServer64 = std::wstring(58, L'w') + L":27015";
const std::wstring kText256 = L"1.2.3.4 " + std::wstring(244, L'x') + L" +ex";

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
        std::wstring arguments;
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
        // The scheme in another spelling comes from the shell as a link does: asked about, and
        // the whole text goes behind "+connect " as it stands.
        {L"\"IVL://x\"", GameFile::Present, Action::Confirm, kAsk + L"IVL://x",
         kStart + L"IVL://x"},
        {L"ivl:27015", GameFile::Present, Action::Confirm, kAsk + L"ivl:27015",
         kStart + L"ivl:27015"},
        {L"Ivl://x", GameFile::Missing, Action::Confirm, kAsk + L"Ivl://x", kStart + L"Ivl://x"},
        {L"ivl:/", GameFile::Present, Action::Confirm, kAsk + L"ivl:/", kStart + L"ivl:/"},
        {L"IVL:", GameFile::Empty, Action::EndSilently, L"", L""},
        {L"\"IVL://x +exec evil\"", GameFile::Present, Action::Reject, kBad + L"x +exec evil", L""},
        {L"\"ivl:x;quit\"", GameFile::Missing, Action::Reject, kBad + L"x;quit", L""},
        {L"IVL://h\u202ex", GameFile::Present, Action::Reject, kBad + L"h?x", L""}, // shown defused
        {L"iVl:-insecure", GameFile::Present, Action::Reject, kBad + L"-insecure", L""},
        // A server of 255 characters is asked about, shown in lines of 64 (a box breaks lines
        // only at blanks); one more names no server. Nor is a longer text asked about in
        // another spelling or without a scheme. A run of 64 stays on its line.
        {L"ivl://" + kServer255, GameFile::Present, Action::Confirm, kAsk + kServer255Shown,
         kStart + kServer255},
        {L"ivl://" + kServer64, GameFile::Present, Action::Confirm, kAsk + kServer64,
         kStart + kServer64},
        {L"ivl:" + kServer255 + L"a", GameFile::Present, Action::Reject,
         kBad + kServer255.substr(0, 64) + L"\r\n" + kServer255.substr(64, 36) + L"\u2026", L""},
        {L"IVL://" + kServer255.substr(5), GameFile::Present, Action::Reject,
         kBad + L"IVL://" + kServer255.substr(5, 58) + L"\r\n" + kServer255.substr(63, 36) +
             L"\u2026",
         L""},
        {kText256, GameFile::Present, Action::Reject,
         kBad + kText256.substr(0, 8) + kText256.substr(8, 64) + L"\r\n" + kText256.substr(72, 28) +
             L"\u2026",
         L""},
        {kText256.substr(1), GameFile::Present, Action::Confirm,
         kAsk + L".2.3.4 " + std::wstring(64, L'x') + L"\r\n" + std::wstring(64, L'x') + L"\r\n" +
             std::wstring(64, L'x') + L"\r\n" + std::wstring(52, L'x') + L" +ex",
         kStart + kText256.substr(1)},
        // Behind blanks or a tab, a link is still a link.
        {L"\" ivl://1.2.3.4 +exec evil\"", GameFile::Present, Action::Reject,
         kBad + L"1.2.3.4 +exec evil", L""},
        {L"\t ivl://host", GameFile::Present, Action::Confirm, kAsk + L"host", kStart + L"host"},
        // No scheme: a bare server starts at once; other printable text is asked about, whole;
        // anything else is refused (a dotless i, a full-width letter: spellings the shell may
        // match where the starter doesn't).
        {L"5.6.7.8:27015", GameFile::Present, Action::StartAtOnce, L"", kStart + L"5.6.7.8:27015"},
        {L"10.0.0.5:27015 +exec my.cfg", GameFile::Present, Action::Confirm,
         kAsk + L"10.0.0.5:27015 +exec my.cfg", kStart + L"10.0.0.5:27015 +exec my.cfg"},
        {L"x ivl://y", GameFile::Missing, Action::Confirm, kAsk + L"x ivl://y",
         kStart + L"x ivl://y"},
        {L"\"\u0131vl://x -novid\"", GameFile::Present, Action::Reject, kBad + L"?vl://x -novid",
         L""},
        {L"\uff49vl://x", GameFile::Missing, Action::Reject, kBad + L"?vl://x", L""},
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
        EXPECT_FALSE(launch.showRunningGame);
    }
}

// While this game runs, a server goes to it through a start with -hijack, which the question
// shows as it will start; with nothing to connect, nothing starts and the running game comes to
// the front instead. Refusals stay as they are.
TEST(Launch, DecisionWhileTheGameRuns) {
    const std::wstring startHijack =
        L"\"C:\\Games\\Iron Vale\\hl2.exe\" -hijack -game ivale -console +connect ";
    const std::wstring askHijack =
        L"Ironvale has been started by an external program.\r\nParameter: -hijack -game ivale "
        L"-console +connect ";
    const struct {
        std::wstring arguments;
        Action action;
        std::wstring message, commandLine;
        bool showRunningGame;
    } cases[] = {
        {L"\"ivl://1.2.3.4:27015\"", Action::Confirm, askHijack + L"1.2.3.4:27015",
         startHijack + L"1.2.3.4:27015", false},
        {L"1.2.3.4:27015", Action::StartAtOnce, L"", startHijack + L"1.2.3.4:27015", false},
        {L"", Action::StartAtOnce, L"", L"", true},
        {L"\"ivl://\"", Action::Confirm, kAsk, L"", true},
        {L"\"ivl://host;quit\"", Action::Reject, kBad + L"host;quit", L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const Launch launch =
            DecideLaunch(CommandText(c.arguments), kGame, GameFile::Present, GameRuns::Yes);
        EXPECT_EQ(launch.action, c.action);
        EXPECT_EQ(launch.message, c.message);
        EXPECT_EQ(launch.commandLine, c.commandLine);
        EXPECT_EQ(launch.showRunningGame, c.showRunningGame);
    }
}

TEST(Launch, GameFolderIsWhereTheGameLies) {
    EXPECT_EQ(GameFolder(kGame), L"C:\\Games\\Iron Vale");
    EXPECT_EQ(GameFolder(GamePath(L"D:")), L"D:\\"); // the root, not the drive's current folder
}

// Surrogates are written as code units, so that the table means the same where wchar_t has
// 32 bits.
TEST(RefusedText, ShownCutAndDefused) {
    const std::wstring pair{static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDFAE)};
    const std::wstring a99(99, L'a');
    const std::pair<std::wstring, std::wstring> cases[] = {
        {a99 + L"b", a99 + L"b"},
        {a99 + L"bc", a99 + L"b\u2026"},
        // Printable ASCII as it stands, everything else as "?": controls, reordering marks,
        // invisible and combining characters, separators, look-alikes, lone surrogates.
        {L" ~AZaz09", L" ~AZaz09"},
        {std::wstring(L"\0\r\n\x1f\x7f\x9f\xa0x", 8), L"???????x"},
        {L"\u061c\u200b\u200d\u200e\u2028\u2029\u202e\u2060\u2066\ufeff", L"??????????"},
        {L"1\u0301 27\u00e9\uff11", L"1? 27??"},
        {std::wstring{L'a', static_cast<wchar_t>(0xDC00), L'b', static_cast<wchar_t>(0xD83C)},
         L"a?b?"},
        {a99 + pair + L"b", a99 + L"?\u2026"}, // a pair is one character, one "?"
        {a99 + L"b" + pair, a99 + L"b\u2026"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(ShownText(text), shown) << testing::PrintToString(text.substr(0, 12));
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
        kServer255,
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
        kServer255 + L"a",
        longText,
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
