#include "process.h"

#include "command_line.h"
#include "win_owned.h"

#include <vector>

namespace platform {
namespace {

// The longest command line a process can be given, its terminating NUL included. Windows
// refuses longer ones; Wine starts them, so the limit is kept here to fail alike everywhere.
constexpr std::size_t kCommandLineLimit = 32767;

WORD ShowWindowRequest(ShowStyle show) {
    switch (show) {
    case ShowStyle::Hidden:
        return SW_HIDE;
    case ShowStyle::Minimized:
        return SW_SHOWMINIMIZED;
    }
    return SW_SHOWNORMAL;
}

} // namespace

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2); // a long path: try again with room for it
    }
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramPath();
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ProgramBaseName() {
    const std::wstring path = ProgramPath();
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) {
        name.resize(dot);
    }
    return name;
}

std::wstring CommandLineArguments() {
    return ArgumentsAfterProgramName(::GetCommandLineW());
}

std::optional<std::uint64_t> FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ErrorCode StartProgram(const std::wstring& commandLine, ShowStyle show,
                       const std::wstring& workingFolder) {
    if (commandLine.size() >= kCommandLineLimit) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowWindowRequest(show);
    PROCESS_INFORMATION process{};
    std::wstring mutableLine = commandLine; // CreateProcessW may write into the line
    const wchar_t* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder,
                          &startup, &process)) {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    OwnedHandle processHandle(process.hProcess);
    OwnedHandle threadHandle(process.hThread);
    return kDone;
}

void EndProcess(unsigned exitCode) {
    ::ExitProcess(exitCode);
}

} // namespace platform
