// What one start of the game starter does, decided from its command line and the game file
// alone: no registry, no window, no process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ironvale {

inline constexpr std::wstring_view kApplicationTitle = L"Ironvale";
inline constexpr std::wstring_view kLinkPrefix = L"ivl://";
// The scheme the starter registers: the link prefix without its "://".
inline constexpr std::wstring_view kScheme = kLinkPrefix.substr(0, kLinkPrefix.size() - 3);
inline constexpr std::wstring_view kGameArguments = L"-game ivale -console +connect ";

// The engine lets one game run at a time. Every running engine holds this mutex, and its game
// shows a top-level window of this class.
inline constexpr std::wstring_view kEngineMutex = L"hl2_singleton_mutex";
inline constexpr std::wstring_view kEngineWindowClass = L"Valve001";
// In front of the game arguments while this game runs: the new start hands its "+" commands to
// the running game ("+connect S" becomes "connect S;") and ends, where without it the engine
// would refuse a second game.
inline constexpr std::wstring_view kHijack = L"-hijack ";

// The command text: the program's arguments with every double quote removed.
std::wstring CommandText(std::wstring_view arguments);

// The game beside the starter: its folder, "\" and "hl2.exe".
std::wstring GamePath(std::wstring_view programFolder);

// The game's working folder: the folder of the game path, with its separator where that folder
// is the root of a drive ("C:" alone would mean the drive's current folder).
std::wstring GameFolder(std::wstring_view gamePath);

// At most this many characters of a refused text are shown.
inline constexpr std::size_t kShownTextLength = 100;

// A refused text as the box shows it: its first kShownTextLength characters (a surrogate pair
// counts as one), followed by U+2026 where the text is longer; printable ASCII (U+0020 to
// U+007E) as it stands and every other character as "?", so that nothing in the text can break
// the box's lines, reorder them or hide in them.
std::wstring ShownText(std::wstring_view text);

// The longest run of characters without a blank that a box shows on one line.
inline constexpr std::size_t kLongestShownRun = 64;

// A text as a box shows it: every run of more than kLongestShownRun characters without a blank
// or line break broken into lines of at most that many, with CR LF. A message box breaks lines
// only at blanks, so a longer run would make the box wider than the screen and push both ends
// of it out of sight. Every other text stays as it is.
std::wstring BrokenForDisplay(std::wstring_view text);

// What the box says when the game can't be started: the game's path and the system's reason.
std::wstring StartFailureMessage(std::wstring_view gamePath, std::wstring_view reason);

// The longest server text a link may carry, and the longest text the question asks about: more
// names no server (a host name has at most 253 characters), and nobody reads a longer one.
inline constexpr std::size_t kMaxServerTextLength = 255;

// Whether the text behind the scheme may reach the game's command line: empty, or at most
// kMaxServerTextLength ASCII letters, digits and . - _ : [ ] / not beginning with "-".
// Anything else could add options or console commands of its own (a blank starts a new
// argument, "+" a command, ";" separates console commands).
bool IsServerText(std::wstring_view serverText);

enum class GameFile { Missing, Empty, Present };

// Whether this very game (the game path's file) runs already.
enum class GameRuns { No, Yes };

struct Launch {
    enum class Action {
        EndSilently, // start nothing, show nothing
        Confirm,     // ask with message (OK and Cancel); on OK go
        Reject,      // show message as an error; start nothing
        StartAtOnce, // go without asking
    };
    Action action = Action::EndSilently;
    std::wstring message;
    // What going does: start commandLine, or, where the game runs and there is no server to
    // connect it to, start nothing and bring the running game's window to the front.
    std::wstring commandLine;
    bool showRunningGame = false;
};

// The decision for a command text (quotes already removed), the state of the game file and
// whether the game runs. A missing game file is no reason to stop: its start simply fails
// later. While the game runs, a server goes to it through a start with kHijack, which the
// question shows as it will start.
Launch DecideLaunch(std::wstring_view commandText, std::wstring_view gamePath, GameFile gameFile,
                    GameRuns gameRuns = GameRuns::No);

} // namespace ironvale
