#include "launch.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace ironvale {
namespace {

bool IsServerCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'.' || c == L'-' || c == L'_' || c == L':' || c == L'[' || c == L']' || c == L'/';
}

// The game's arguments with what goes behind "+connect ": for the running game, if it runs
// and there is a server, through a start that hands it over.
std::wstring GameArguments(std::wstring_view connectTo, GameRuns gameRuns) {
    std::wstring arguments;
    if (gameRuns == GameRuns::Yes && !connectTo.empty()) {
        arguments.append(kHijack);
    }
    return arguments.append(kGameArguments).append(connectTo);
}

// The game path quoted, so that a folder with blanks can't be taken for a shorter program
// path; then the arguments.
std::wstring GameCommandLine(std::wstring_view gamePath, std::wstring_view arguments) {
    std::wstring line;
    line.reserve(gamePath.size() + 3 + arguments.size());
    line.append(L"\"").append(gamePath).append(L"\" ").append(arguments);
    return line;
}

// Going with connectTo behind "+connect ": a start, or, where the game runs and there is no
// server to connect it to, its window to the front.
Launch Going(Launch::Action action, std::wstring message, std::wstring_view gamePath,
             std::wstring_view connectTo, GameRuns gameRuns) {
    if (gameRuns == GameRuns::Yes && connectTo.empty()) {
        return {action, std::move(message), {}, true};
    }
    return {action, std::move(message),
            GameCommandLine(gamePath, GameArguments(connectTo, gameRuns))};
}

Launch Rejected(std::wstring_view serverText) {
    return {Launch::Action::Reject,
            BrokenForDisplay(L"The link does not name a valid server address:\r\n" +
                             ShownText(serverText)),
            {}};
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// What a box may show as it stands: printable ASCII. Anything else, a server never holds, and
// it could hide in the box (zero-width and combining characters, line and paragraph
// separators, reordering marks, look-alike letters).
bool IsPrintableAscii(wchar_t c) {
    return c >= 0x20 && c <= 0x7E;
}

// The question before the game starts with connectTo behind "+connect ". A longer text than
// any server is refused instead: no question can show it whole.
Launch Asked(std::wstring_view gamePath, std::wstring_view connectTo, GameRuns gameRuns) {
    if (connectTo.size() > kMaxServerTextLength) {
        return Rejected(connectTo);
    }
    std::wstring message = L"Ironvale has been started by an external program.\r\nParameter: ";
    message.append(GameArguments(connectTo, gameRuns));
    return Going(Launch::Action::Confirm, BrokenForDisplay(message), gamePath, connectTo, gameRuns);
}

// The text behind the scheme when the command text names it in another spelling than the
// link prefix: "IVL://x", "Ivl://x" and "ivl:x" all give "x". Such a text reaches the starter
// the way a link does, through the registration (the shell matches schemes in any case, and
// without the slashes), so a web page can send it.
std::optional<std::wstring_view> OtherSpellingTail(std::wstring_view text) {
    constexpr std::wstring_view kSchemeColon = L"ivl:";
    if (text.size() < kSchemeColon.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kSchemeColon.size(); ++i) {
        const wchar_t c = text[i];
        const wchar_t lower = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        if (lower != kSchemeColon[i]) {
            return std::nullopt;
        }
    }
    std::wstring_view tail = text.substr(kSchemeColon.size());
    if (tail.starts_with(L"//")) {
        tail.remove_prefix(2);
    }
    return tail;
}

} // namespace

std::wstring CommandText(std::wstring_view arguments) {
    std::wstring text(arguments);
    text.erase(std::remove(text.begin(), text.end(), L'"'), text.end());
    return text;
}

std::wstring GamePath(std::wstring_view programFolder) {
    return std::wstring(programFolder) + L"\\hl2.exe";
}

std::wstring GameFolder(std::wstring_view gamePath) {
    const std::size_t slash = gamePath.find_last_of(L'\\');
    if (slash == std::wstring_view::npos) {
        return {};
    }
    const std::wstring_view folder = gamePath.substr(0, slash);
    const bool driveRoot = folder.size() == 2 && folder[1] == L':';
    return std::wstring(driveRoot ? gamePath.substr(0, slash + 1) : folder);
}

std::wstring ShownText(std::wstring_view text) {
    std::wstring shown;
    std::size_t characters = 0;
    std::size_t i = 0;
    for (; i < text.size() && characters < kShownTextLength; ++i, ++characters) {
        const wchar_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i; // one character, one "?"
        }
        shown.push_back(IsPrintableAscii(c) ? c : L'?');
    }
    if (i < text.size()) {
        shown.push_back(L'\u2026');
    }
    return shown;
}

std::wstring BrokenForDisplay(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size() + text.size() / kLongestShownRun * 2);
    std::size_t run = 0;
    for (const wchar_t c : text) {
        if (c == L' ' || c == L'\r' || c == L'\n') {
            run = 0;
        } else if (++run > kLongestShownRun) {
            shown.append(L"\r\n");
            run = 1;
        }
        shown.push_back(c);
    }
    return shown;
}

std::wstring StartFailureMessage(std::wstring_view gamePath, std::wstring_view reason) {
    std::wstring message = L"The game could not be started:\r\n";
    message.append(gamePath).append(L"\r\n\r\n").append(reason);
    return message;
}

bool IsServerText(std::wstring_view serverText) {
    return serverText.size() <= kMaxServerTextLength &&
           (serverText.empty() || serverText.front() != L'-') &&
           std::all_of(serverText.begin(), serverText.end(), IsServerCharacter);
}

Launch DecideLaunch(std::wstring_view commandText, std::wstring_view gamePath, GameFile gameFile,
                    GameRuns gameRuns) {
    if (gameFile == GameFile::Empty) {
        return {};
    }
    // A caller may hand a link over behind blanks or a tab: the scheme is looked for behind
    // them, so that " ivl://x" is a link like any other.
    std::wstring_view text = commandText;
    text.remove_prefix(std::min(text.find_first_not_of(L" \t"), text.size()));
    // With the link prefix, the server behind it goes to the game. The scheme in another
    // spelling ("IVL://x", "ivl:x") reaches the starter from a web page just as well, through
    // the same registration: it is asked about too, and the whole text goes to the game, as any
    // other argument does.
    if (text.starts_with(kLinkPrefix)) {
        const std::wstring_view server = text.substr(kLinkPrefix.size());
        return IsServerText(server) ? Asked(gamePath, server, gameRuns) : Rejected(server);
    }
    if (const std::optional<std::wstring_view> tail = OtherSpellingTail(text)) {
        return IsServerText(*tail) ? Asked(gamePath, text, gameRuns) : Rejected(*tail);
    }
    // No scheme the starter knows; yet the shell may have matched its registration in a way
    // the starter doesn't (Windows folds a dotless "\u0131" to "I"). So only what a player
    // starts by hand goes at once: nothing, or a server. Other printable text is asked about;
    // anything else names no server and can't be shown as it stands.
    if (IsServerText(commandText)) {
        return Going(Launch::Action::StartAtOnce, {}, gamePath, commandText, gameRuns);
    }
    if (std::all_of(commandText.begin(), commandText.end(), IsPrintableAscii)) {
        return Asked(gamePath, commandText, gameRuns);
    }
    return Rejected(commandText);
}

} // namespace ironvale
