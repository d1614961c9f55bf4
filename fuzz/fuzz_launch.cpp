// The starter's decision from its whole command line: the first byte is the state of the game
// file and whether the game runs, the rest the command line as the system hands it over (the
// program's name first).
#include "fuzz/fuzz_text.h"
#include "game_starter/launch.h"
#include "platform/command_line.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using ironvale::Launch;
using Action = Launch::Action;

constexpr std::wstring_view kGamePath = L"C:\\Games\\Iron Vale\\hl2.exe";
const std::wstring kArguments(ironvale::kGameArguments);
// While the game runs, a server goes to it through a start with "-hijack ".
const std::wstring kHijackArguments = std::wstring(ironvale::kHijack) + kArguments;
const std::wstring kQuotedGame = L"\"" + std::wstring(kGamePath) + L"\" ";
const std::wstring kStart = kQuotedGame + kArguments;
const std::wstring kStartWhileItRuns = kQuotedGame + kHijackArguments;
const std::wstring kParameter = L"Ironvale has been started by an external program.\r\nParameter: ";
const std::wstring kAsk = kParameter + kArguments;
const std::wstring kAskWhileItRuns = kParameter + kHijackArguments;
constexpr std::wstring_view kRefusal = L"The link does not name a valid server address:\r\n";

// Only characters that can't start another argument or a console command.
bool HasServerCharacters(std::wstring_view server) {
    if (!server.empty() && server.front() == L'-') {
        return false;
    }
    for (wchar_t c : server) {
        const bool letterOrDigit =
            (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
        if (!letterOrDigit && std::wstring_view(L".-_:[]/").find(c) == std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

bool IsAllowed(std::wstring_view server) {
    return server.size() <= 255 && HasServerCharacters(server);
}

// Whether the text starts with the scheme in any spelling ("ivl:", "IVL://", "Ivl:/"...), the
// way the shell hands a link over.
bool StartsWithScheme(std::wstring_view text) {
    if (text.size() < 4 || text[3] != L':') {
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if ((text[i] | 0x20) != L"ivl"[i]) {
            return false;
        }
    }
    return true;
}

bool IsHidden(char32_t c) {
    return c < 0x20 || c > 0x7E;
}

// The display form built another way: the text as code points (a lone surrogate stands for
// itself), the first 100 of them with all but printable ASCII as "?", and an ellipsis if more
// follow.
std::wstring ExpectedShownText(std::wstring_view text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = static_cast<char32_t>(text[i]);
        const char32_t next = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
        if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            points.push_back(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else {
            points.push_back(c);
        }
    }
    std::wstring shown;
    for (std::size_t i = 0; i < points.size() && i < ironvale::kShownTextLength; ++i) {
        shown.push_back(IsHidden(points[i]) ? L'?' : static_cast<wchar_t>(points[i]));
    }
    if (points.size() > ironvale::kShownTextLength) {
        shown.push_back(L'\u2026');
    }
    return shown;
}

void CheckShownText(std::wstring_view text) {
    const std::wstring whole = ironvale::ShownText(text);
    FUZZ_CHECK(whole == ExpectedShownText(text));
    std::wstring_view shown = whole;
    if (shown.ends_with(L'\u2026')) {
        shown.remove_suffix(1);
    }
    for (wchar_t c : shown) {
        FUZZ_CHECK(!IsHidden(static_cast<char32_t>(c)));
    }
    FUZZ_CHECK(shown.size() <= ironvale::kShownTextLength);
}

bool IsBreak(wchar_t c) {
    return c == L' ' || c == L'\r' || c == L'\n';
}

std::size_t LongestRun(std::wstring_view text) {
    std::size_t run = 0, longest = 0;
    for (wchar_t c : text) {
        run = IsBreak(c) ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

std::wstring WithoutLineBreaks(std::wstring text) {
    for (std::size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) {
        text.erase(at, 2);
    }
    return text;
}

// A box's text: the whole text with line breaks put only into runs too long for a line, and no
// longer run left; a text without such a run exactly as it is.
void CheckBoxText(const std::wstring& shown, const std::wstring& whole) {
    FUZZ_CHECK(WithoutLineBreaks(shown) == WithoutLineBreaks(whole));
    FUZZ_CHECK(LongestRun(shown) <= ironvale::kLongestShownRun);
    FUZZ_CHECK(LongestRun(whole) > ironvale::kLongestShownRun || shown == whole);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto gameFile = static_cast<ironvale::GameFile>(data[0] % 3);
    const bool runs = data[0] / 3 % 2 == 1;
    const std::wstring commandLine = fuzz::Utf16Of(data + 1, size - 1);
    const std::wstring commandText =
        ironvale::CommandText(platform::ArgumentsAfterProgramName(commandLine));
    FUZZ_CHECK(commandText.find(L'"') == std::wstring::npos);
    CheckShownText(commandLine);

    const Launch launch = ironvale::DecideLaunch(
        commandText, kGamePath, gameFile, runs ? ironvale::GameRuns::Yes : ironvale::GameRuns::No);
    if (gameFile == ironvale::GameFile::Empty) {
        FUZZ_CHECK(launch.action == Action::EndSilently && launch.message.empty() &&
                   launch.commandLine.empty());
        return 0;
    }
    FUZZ_CHECK(launch.action != Action::EndSilently);

    // The scheme is looked for behind leading blanks and tabs.
    std::wstring_view text = commandText;
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) {
        text.remove_prefix(1);
    }
    const bool link = StartsWithScheme(text);
    std::wstring_view tail = link ? text.substr(4) : commandText;
    if (link && tail.starts_with(L"//")) {
        tail.remove_prefix(2);
    }
    bool printable = true;
    for (wchar_t c : commandText) {
        printable = printable && !IsHidden(static_cast<char32_t>(c));
    }
    // What a question would put behind "+connect ": the server behind "ivl://", else the whole
    // text; nothing longer than a server is asked about.
    const std::wstring_view asked = link && !text.starts_with(L"ivl://") ? text : tail;
    if (launch.action == Action::Reject) {
        const bool tooLong = asked.size() > 255;
        FUZZ_CHECK(link ? !IsAllowed(tail) || tooLong : !printable || tooLong);
        FUZZ_CHECK(launch.commandLine.empty());
        const std::wstring_view refused = link && IsAllowed(tail) ? asked : tail;
        CheckBoxText(launch.message, std::wstring(kRefusal) + ExpectedShownText(refused));
        CheckShownText(refused);
        return 0;
    }
    FUZZ_CHECK(link ? IsAllowed(tail) : printable);
    FUZZ_CHECK(asked.size() <= 255);

    // Nothing starts without a question but nothing or a server started by hand. After a link,
    // in any spelling, only server characters follow "+connect ": the server behind "ivl://",
    // else the whole text. While the game runs, a server goes to it, and with nothing to
    // connect nothing starts.
    FUZZ_CHECK(launch.showRunningGame == (runs && asked.empty()));
    const std::wstring& start = runs ? kStartWhileItRuns : kStart;
    FUZZ_CHECK(launch.showRunningGame ? launch.commandLine.empty()
                                      : launch.commandLine.starts_with(start));
    const std::wstring_view connectTo =
        launch.showRunningGame ? std::wstring_view()
                               : std::wstring_view(launch.commandLine).substr(start.size());
    if (launch.action == Action::StartAtOnce) {
        FUZZ_CHECK(!link && IsAllowed(commandText) && connectTo == commandText);
        FUZZ_CHECK(launch.message.empty());
        return 0;
    }
    FUZZ_CHECK(launch.action == Action::Confirm && connectTo == asked);
    CheckBoxText(launch.message,
                 (runs && !asked.empty() ? kAskWhileItRuns : kAsk) + std::wstring(connectTo));
    if (link) {
        FUZZ_CHECK(HasServerCharacters(connectTo));
    } else {
        FUZZ_CHECK(!IsAllowed(commandText));
    }
    return 0;
}
