// What one start of the game starter does, decided from its command line and the game file
// alone: no registry, no window, no process.
#pragma once

#include <string>
#include <string_view>

namespace ironvale {

inline constexpr std::wstring_view kApplicationTitle = L"Ironvale";
inline constexpr std::wstring_view kLinkPrefix = L"ivl://";
// The scheme the starter registers: the link prefix without its "://".
inline constexpr std::wstring_view kScheme = kLinkPrefix.substr(0, kLinkPrefix.size() - 3);
inline constexpr std::wstring_view kGameArguments = L"-game ivale -console +connect ";

// The command text: the program's arguments with every double quote removed.
std::wstring CommandText(std::wstring_view arguments);

// The game beside the starter: its folder, "\" and "hl2.exe".
std::wstring GamePath(std::wstring_view programFolder);

// Whether the text behind "ivl://" may reach the game's command line: empty, or only ASCII
// letters, digits and . - _ : [ ] / and not beginning with "-". Anything else could add
// options or console commands of its own (a blank starts a new argument, "+" a command, ";"
// separates console commands).
bool IsServerText(std::wstring_view serverText);

enum class GameFile { Missing, Empty, Present };

struct Launch {
    enum class Action {
        EndSilently, // start nothing, show nothing
        Confirm,     // ask with message (OK and Cancel); on OK start commandLine
        Reject,      // show message as an error; start nothing
        StartAtOnce, // start commandLine without asking
    };
    Action action = Action::EndSilently;
    std::wstring message;
    std::wstring commandLine;
};

// The decision for a command text (quotes already removed) and the state of the game file.
// A missing game file is no reason to stop: its start simply fails later.
Launch DecideLaunch(std::wstring_view commandText, std::wstring_view gamePath, GameFile gameFile);

} // namespace ironvale
