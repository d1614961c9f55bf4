// The floor of the game starter's benchmark: the least a program can do for the starter's job.
// It starts hl2.exe beside itself, minimized, in its own folder, with the command line the
// starter gives the game when it is started without arguments, and ends without waiting.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t exe[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, length);
    folder.resize(folder.find_last_of(L'\\'));
    std::wstring commandLine = folder + L"\\hl2.exe -game ivale -console +connect ";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        return 1;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
}
