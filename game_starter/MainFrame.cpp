// The starter's only window, never shown: its load step is the whole run.
#include "MainFrame.h"

#include "Registry.h"
#include "launch.h"

#include "../platform/error_text.h"
#include "../platform/process.h"
#include "../platform/running_program.h"
#include "../platform/message_box.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ironvale {
namespace {

GameFile GameFileOf(const std::optional<std::uint64_t>& length) {
    if (!length) {
        return GameFile::Missing;
    }
    return *length == 0 ? GameFile::Empty : GameFile::Present;
}

// Starts the game in its own folder, whatever folder the starter was started in; says why
// where it can't be started. Without a game path (the starter's own folder unknown) nothing is
// started: never a program of that name elsewhere.
void StartGame(const std::wstring& commandLine, const std::wstring& gamePath) {
    const platform::ErrorCode error =
        gamePath.empty() ? platform::kPathNotFound
                         : platform::StartProgram(commandLine, platform::ShowStyle::Minimized,
                                                  GameFolder(gamePath));
    if (error != platform::kDone) {
        platform::ShowMessageBox(nullptr,
                                 StartFailureMessage(gamePath.empty() ? L"hl2.exe" : gamePath,
                                                     platform::ErrorText(error)),
                                 std::wstring(kApplicationTitle), platform::MessageButtons::Ok,
                                 platform::MessageIcon::Error);
    }
}

// This game's window, where the game runs: a window of the engine's class whose process runs
// the game file beside the starter. Looked for only where an engine runs at all (its mutex, one
// kernel32 call), so that a start without a running game costs nothing more. Where it can't be
// told, the game counts as not running.
class RunningGame {
public:
    RunningGame(GameFile gameFile, const std::wstring& gamePath)
        : window_(gameFile == GameFile::Present &&
                          platform::NamedMutexExists(std::wstring(kEngineMutex))
                      ? platform::FindWindowOfProgram(std::wstring(kEngineWindowClass), gamePath)
                      : nullptr) {}

    GameRuns runs() const { return window_ != nullptr ? GameRuns::Yes : GameRuns::No; }
    void* window() const { return window_; }

private:
    void* window_;
};

} // namespace

void MainFrame::Form_Load() {
    // A step that fails is given up without a word, and the run goes on with the next one.
    std::wstring commandText;
    std::wstring folder;
    std::wstring gamePath;
    try {
        commandText = CommandText(platform::CommandLineArguments());
        folder = platform::ProgramFolder();
        if (!folder.empty()) {
            gamePath = GamePath(folder);
        }
    } catch (...) {
    }
    try {
        // An empty program path: the link handler is this very file, wherever it lies now. Where
        // the system can't tell its folder or name, no other file is registered in its place.
        const std::wstring baseName = platform::ProgramBaseName();
        if (!folder.empty() && !baseName.empty()) {
            RegisterUrlProtocol(platform::SystemRegistry(), std::wstring(kScheme), std::wstring(),
                                {folder, baseName});
        }
    } catch (...) {
    }
    try {
        const GameFile gameFile = GameFileOf(platform::FileLength(gamePath));
        const RunningGame runningGame(gameFile, gamePath);
        const Launch launch = DecideLaunch(commandText, gamePath, gameFile, runningGame.runs());
        const auto go = [&] {
            if (launch.showRunningGame) {
                platform::BringToFront(runningGame.window());
            } else {
                StartGame(launch.commandLine, gamePath);
            }
        };
        const std::wstring title(kApplicationTitle);
        switch (launch.action) {
        case Launch::Action::EndSilently:
            break;
        case Launch::Action::Confirm:
            // A web page decides when the question appears: OK takes no press at first.
            if (platform::AskWithDelayedOk(launch.message, title) == platform::MessageAnswer::Ok) {
                go();
            }
            break;
        case Launch::Action::Reject:
            platform::ShowMessageBox(nullptr, launch.message, title, platform::MessageButtons::Ok,
                                     platform::MessageIcon::Error);
            break;
        case Launch::Action::StartAtOnce:
            go();
            break;
        }
    } catch (...) {
    }
    // The game, if it started, runs on by itself; nothing is waited for.
    platform::EndProcess(0);
}

} // namespace ironvale
