// Stands in for the game in end-to-end tests: appends one line to hl2-calls.txt beside itself
// with the show-window request it got (-1 when none), its working folder and its exact command
// line, separated by tabs, in UTF-8, and ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    const std::wstring line =
        std::to_wstring(show) + L"\t" + folder + L"\t" + ::GetCommandLineW() + L"\n";

    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring log = exe;
    log.resize(log.find_last_of(L'\\') + 1);
    log += L"hl2-calls.txt";

    const int wide = static_cast<int>(line.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, utf8.data(), size, nullptr, nullptr);

    HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == utf8.size() ? 0 : 1;
}
