// Process services: where the running program lives, its command line, files, starting another
// program and ending this one.
#pragma once

#include "error_code.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The full path of the running executable.
std::wstring ProgramPath();

// The folder of the running executable, without a separator at its end.
std::wstring ProgramFolder();

// The executable's file name without its folder and without its extension.
std::wstring ProgramBaseName();

// The program's command-line arguments: the text behind its own name.
std::wstring CommandLineArguments();

// The length of a file in bytes; nothing when it can't be taken (missing, or not a file).
std::optional<std::uint64_t> FileLength(const std::wstring& path);

// How a started program is asked to show its first window.
enum class ShowStyle {
    Hidden,    // SW_HIDE
    Minimized, // SW_SHOWMINIMIZED: minimized and active
};

// Starts a program from one command line with the given show style, in the given working
// folder (empty: this program's own), and does not wait for it. kDone when it started, else the
// system's error code.
ErrorCode StartProgram(const std::wstring& commandLine, ShowStyle show,
                       const std::wstring& workingFolder);

// Ends the process at once.
[[noreturn]] void EndProcess(unsigned exitCode);

} // namespace platform
