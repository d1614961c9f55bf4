#include "running_program.h"

#include "win_owned.h"

#include <optional>
#include <vector>

namespace platform {
namespace {

// A file as the file system knows it, whatever path led to it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
    // No access asked for, and every sharing allowed: a running program's file opens too.
    const OwnedFileHandle file(::CreateFileW(path.c_str(), 0,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) {
        return std::nullopt;
    }
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}

} // namespace

std::wstring ProgramOf(void* process) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (::QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) {
            return std::wstring(buffer.data(), size);
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2); // a long path: again, with room for it
    }
}

std::wstring ProgramOfWindow(void* window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(static_cast<HWND>(window), &processId);
    const OwnedHandle process(
        processId != 0 ? ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)
                       : nullptr);
    return process ? ProgramOf(process.get()) : std::wstring();
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    const std::optional<FileIdentity> identity = IdentityOf(a);
    return identity && identity == IdentityOf(b);
}

bool NamedMutexExists(const std::wstring& name) {
    return static_cast<bool>(OwnedHandle(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str())));
}

void* FindWindowOfProgram(const std::wstring& className, const std::wstring& programPath) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, className.c_str(), nullptr);
         window != nullptr; window = ::FindWindowExW(nullptr, window, className.c_str(), nullptr)) {
        if (SameFile(ProgramOfWindow(window), programPath)) {
            return window;
        }
    }
    return nullptr;
}

void BringToFront(void* window) {
    const HWND hwnd = static_cast<HWND>(window);
    // Without waiting for the window's own thread, which may be busy.
    if (::IsIconic(hwnd)) {
        ::ShowWindowAsync(hwnd, SW_RESTORE);
    }
    ::SetForegroundWindow(hwnd);
}

} // namespace platform
