// The floor of the language tool's benchmark: the least a program can do to greet the player.
// It shows the tool's first-start greeting (same caption, same text for the same account) in a
// message box and ends when the box is closed. It carries the tool's manifest, so it loads the
// same common controls, DPI awareness and code page as the tool.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t name[257] = {};
    DWORD size = 257;
    ::GetUserNameW(name, &size);
    const std::wstring text = std::wstring(L"Hello ") + name +
                              L",\r\nPlease choose the languages you want to implement in the "
                              L"Vantoline!";
    ::MessageBoxW(nullptr, text.c_str(), L"Mirelak", MB_OK);
    return 0;
}
