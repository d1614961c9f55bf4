#include "launch.h"

#include <algorithm>
#include <utility>

namespace ironvale {
namespace {

bool IsServerCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'.' || c == L'-' || c == L'_' || c == L':' || c == L'[' || c == L']' || c == L'/';
}

// The game path quoted, so that a folder with blanks can't be taken for a shorter program
// path; then the fixed arguments and what goes behind "+connect ".
std::wstring GameCommandLine(std::wstring_view gamePath, std::wstring_view connectTo) {
    std::wstring line;
    line.reserve(gamePath.size() + 3 + kGameArguments.size() + connectTo.size());
    line.append(L"\"").append(gamePath).append(L"\" ");
    line.append(kGameArguments).append(connectTo);
    return line;
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

bool IsServerText(std::wstring_view serverText) {
    return (serverText.empty() || serverText.front() != L'-') &&
           std::all_of(serverText.begin(), serverText.end(), IsServerCharacter);
}

Launch DecideLaunch(std::wstring_view commandText, std::wstring_view gamePath, GameFile gameFile) {
    if (gameFile == GameFile::Empty) {
        return {};
    }
    // The prefix test is case-sensitive: "IVL://x" is no link and goes to the game whole.
    if (!commandText.starts_with(kLinkPrefix)) {
        return {Launch::Action::StartAtOnce, {}, GameCommandLine(gamePath, commandText)};
    }
    const std::wstring_view server = commandText.substr(kLinkPrefix.size());
    if (!IsServerText(server)) {
        return {Launch::Action::Reject,
                L"The link does not name a valid server address:\r\n" + std::wstring(server),
                {}};
    }
    std::wstring message = L"Ironvale has been started by an external program.\r\nParameter: ";
    message.append(kGameArguments).append(server);
    return {Launch::Action::Confirm, std::move(message), GameCommandLine(gamePath, server)};
}

} // namespace ironvale
