// Stands in for the game in end-to-end tests. Every start appends one line to hl2-calls.txt
// beside itself with the show-window request it got (-1 when none), its working folder and its
// exact command line, separated by tabs, in UTF-8. Then it behaves as the engine's launcher
// does where a game runs already (the mutex that every running engine holds exists): a start
// with -hijack hands its "+" commands to the running game's window ("+connect S" becomes
// "connect S;") and ends; any other start ends, as the engine refuses a second game. Where no
// game runs, a start with -keep-running becomes the running game: it holds that mutex and shows
// a window of the engine's class, which appends each text it gets through WM_COPYDATA as a line
// to hl2-console.txt beside itself; other starts end at once, as a game that quit.
#include "platform/win_owned.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr wchar_t kEngineMutex[] = L"hl2_singleton_mutex";
constexpr wchar_t kEngineWindowClass[] = L"Valve001";

std::wstring Beside(const wchar_t* name) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path.resize(path.find_last_of(L'\\') + 1);
    return path + name;
}

bool Append(const std::wstring& file, const std::string& bytes) {
    HANDLE handle =
        ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(handle);
    return ok && written == bytes.size();
}

std::string Encoded(const std::wstring& text, UINT codePage) {
    const int wide = static_cast<int>(text.size());
    const int size =
        ::WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), wide, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// The program's arguments. shell32 is loaded only here, where a start hands its commands over:
// a plain start stays as light as before.
std::vector<std::wstring> Arguments() {
    const platform::OwnedModule shell32(::LoadLibraryW(L"shell32.dll"));
    const auto split = reinterpret_cast<LPWSTR*(WINAPI*)(LPCWSTR, int*)>(
        reinterpret_cast<void*>(::GetProcAddress(shell32.get(), "CommandLineToArgvW")));
    int count = 0;
    const platform::OwnedLocal<LPWSTR*> argv(split ? split(::GetCommandLineW(), &count) : nullptr);
    return {argv.get(), argv.get() + (argv ? count : 0)};
}

// The console commands of a command line as the launcher makes them: "+cmd value" becomes
// "cmd value;" (the value: the next argument unless it begins with "-" or "+"), and every
// "-option" is skipped with its value.
std::wstring ConsoleCommands(const std::vector<std::wstring>& arguments) {
    std::wstring commands;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size() && !arguments[i + 1].starts_with(L'-') &&
                              !arguments[i + 1].starts_with(L'+');
        if (argument.starts_with(L'+')) {
            commands += argument.substr(1);
            if (hasValue) {
                commands += L' ' + arguments[++i];
            }
            commands += L';';
        } else if (argument.starts_with(L'-') && hasValue) {
            ++i;
        }
    }
    return commands;
}

LRESULT CALLBACK GameWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const char* text = static_cast<const char*>(data->lpData);
        std::string line(text, data->cbData);
        line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
        return Append(Beside(L"hl2-console.txt"), line + "\n") ? 1 : 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int RunTheGame(HINSTANCE instance, int show) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = GameWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kEngineWindowClass;
    if (::RegisterClassW(&windowClass) == 0) {
        return 1;
    }
    HWND window = ::CreateWindowExW(0, kEngineWindowClass, L"Ironvale", WS_OVERLAPPEDWINDOW, 0, 0,
                                    320, 240, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const int request = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    const std::wstring line =
        std::to_wstring(request) + L"\t" + folder + L"\t" + ::GetCommandLineW() + L"\n";
    if (!Append(Beside(L"hl2-calls.txt"), Encoded(line, CP_UTF8))) {
        return 1;
    }

    // Only the start that becomes the running game makes the mutex: a start that ends at once
    // leaves none behind for the next test's starter to find.
    if (!platform::OwnedHandle(::OpenMutexW(SYNCHRONIZE, FALSE, kEngineMutex))) {
        const bool keepRunning =
            std::wstring_view(::GetCommandLineW()).ends_with(L" -keep-running");
        const platform::OwnedHandle mutex(keepRunning ? ::CreateMutexW(nullptr, TRUE, kEngineMutex)
                                                      : nullptr);
        return mutex ? RunTheGame(instance, show) : 0;
    }
    const std::vector<std::wstring> arguments = Arguments();
    if (std::find(arguments.begin(), arguments.end(), L"-hijack") != arguments.end()) {
        const std::string commands = Encoded(ConsoleCommands(arguments), CP_ACP);
        COPYDATASTRUCT data{0, static_cast<DWORD>(commands.size() + 1),
                            const_cast<char*>(commands.c_str())};
        const HWND game = ::FindWindowW(kEngineWindowClass, nullptr); // as the engine finds it
        return game != nullptr &&
                       ::SendMessageW(game, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) != 0
                   ? 0
                   : 2;
    }
    return 0;
}
