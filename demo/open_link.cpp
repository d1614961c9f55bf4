// Opens a link through the shell, the way a browser hands it over, and waits for the box that
// the game starter it runs shows; prints the box's text and waits for that starter to end.
//   open_link LINK                      the user answers the box
//   open_link LINK --press-ok FILE.bmp  saves the box to FILE.bmp and presses OK (for a virtual
//                                       display, where nobody can click)
// Exit code 0 when the starter has ended, 1 when the link did not reach it, 2 for a wrong call.
#include "tests/e2e/ui_driver.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

// Writes the text and a line end to the standard output in UTF-8; every line of it begins with
// the indent.
void Print(const std::wstring& text, const std::wstring& indent = L"") {
    std::wstring lines = indent;
    for (const wchar_t c : text) {
        if (c == L'\n') {
            lines += L'\n' + indent;
        } else if (c != L'\r') {
            lines += c;
        }
    }
    lines += L'\n';
    const int wide = static_cast<int>(lines.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), wide, utf8.data(), size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
                &written, nullptr);
}

} // namespace

int main() {
    int argc = 0;
    const platform::OwnedLocal<wchar_t**> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    const bool pressOk = argc == 4 && std::wstring(argv.get()[2]) == L"--press-ok";
    if (argc != 2 && !pressOk) {
        Print(L"usage: open_link LINK [--press-ok SCREENSHOT.bmp]");
        return 2;
    }
    const wchar_t* link = argv.get()[1];

    const auto opened = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", link, nullptr, nullptr, SW_SHOWNORMAL));
    if (opened <= 32) {
        Print(L"The shell could not open " + std::wstring(link));
        return 1;
    }
    const auto box = driver::WaitForMessageBoxTitled(L"Ironvale");
    if (!box) {
        Print(L"No box \"Ironvale\" came up: is the ivl protocol registered?");
        return 1;
    }
    Print(L"The box \"Ironvale\" asks:");
    Print(box->text, L"  ");
    DWORD starterId = 0;
    ::GetWindowThreadProcessId(box->hwnd, &starterId);
    const platform::OwnedHandle starter(::OpenProcess(SYNCHRONIZE, FALSE, starterId));
    if (pressOk) {
        driver::WaitForOkAfterItsWait(box->hwnd); // OK takes no press in the first second
        driver::SaveScreenshot(box->hwnd, argv.get()[3]);
        driver::AnswerMessageBox(*box, IDOK);
        Print(L"OK pressed.");
    } else {
        Print(L"Answer it on the screen.");
    }
    const DWORD wait = pressOk ? 15000 : INFINITE;
    return ::WaitForSingleObject(starter.get(), wait) == WAIT_OBJECT_0 ? 0 : 1;
}
