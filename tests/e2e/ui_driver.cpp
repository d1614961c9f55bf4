#include "ui_driver.h"

#include <fstream>
#include <thread>

namespace driver {
namespace {

// The driver measures other programs' windows in real pixels, so it is DPI-aware itself.
const bool dpiAware = [] {
    using Fn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    auto set = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    return set != nullptr && set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != FALSE;
}();

} // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
}

Program::Program(const std::wstring& exe, const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &info)) {
        platform::OwnedHandle thread(info.hThread);
        process_.reset(info.hProcess);
        id_ = info.dwProcessId;
        ::WaitForInputIdle(process_.get(), 5000);
    }
}

Program::~Program() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.get(), 99);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

std::optional<DWORD> Program::WaitForExit(std::chrono::milliseconds timeout) {
    if (!process_ || ::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) !=
                         WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

constexpr DWORD kAnyProcess = 0;

struct Search {
    DWORD processId; // kAnyProcess: every process
    std::wstring className;
    const std::wstring* caption; // null: any caption
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if ((search->processId != kAnyProcess && owner != search->processId) ||
        ClassOf(window) != search->className ||
        (search->visibleOnly && !::IsWindowVisible(window)) ||
        (search->caption != nullptr && TextOf(window) != *search->caption)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND Find(DWORD processId, const std::wstring& className, const std::wstring* caption,
          bool visibleOnly) {
    Search search{processId, className, caption, visibleOnly, nullptr};
    ::EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND FindTopWindow(DWORD processId, const std::wstring& className, const std::wstring& caption) {
    return Find(processId, className, &caption, true);
}

HWND WaitForTopWindow(DWORD processId, const std::wstring& className, const std::wstring& caption) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(processId, className, caption)) != nullptr; });
    return found;
}

HWND FindAnyTopWindow(DWORD processId, const std::wstring& className) {
    return Find(processId, className, nullptr, false);
}

namespace {

MessageBoxView ReadMessageBox(HWND box) {
    MessageBoxView view;
    view.hwnd = box;
    view.title = TextOf(box);
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) {
            continue;
        }
        const std::wstring kind = ClassOf(child);
        if (kind == L"Button") {
            view.buttons.push_back(TextOf(child));
        } else if (kind == L"Static") {
            if (::SendMessageW(child, STM_GETICON, 0, 0) != 0) {
                view.hasIcon = true;
            } else if (!TextOf(child).empty()) {
                view.text = TextOf(child);
            }
        }
    }
    return view;
}

} // namespace

std::optional<MessageBoxView> WaitForMessageBox(DWORD processId) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = Find(processId, L"#32770", nullptr, true)) != nullptr; })) {
        return std::nullopt;
    }
    return ReadMessageBox(box);
}

std::optional<MessageBoxView> WaitForMessageBoxTitled(const std::wstring& title) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = Find(kAnyProcess, L"#32770", &title, true)) != nullptr; })) {
        return std::nullopt;
    }
    return ReadMessageBox(box);
}

void AnswerMessageBox(const MessageBoxView& box, int buttonId) {
    ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, buttonId)));
}

std::wstring TextOf(HWND window) {
    const int length = static_cast<int>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied =
        static_cast<int>(::SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                        reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
        std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<std::size_t>(length));
        items.push_back(item);
    }
    return items;
}

void SelectComboItem(HWND combo, const std::wstring& text) {
    const LRESULT index = ::SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

bool IsChecked(HWND checkBox) {
    return ::SendMessageW(checkBox, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
}

void SetChecked(HWND checkBox, bool checked) {
    ::SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Press(HWND button) {
    ::PostMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

void Close(HWND window) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
}

SIZE ClientSize(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

int Pixels(int twips) {
    return ::MulDiv(twips, ScreenDpi(), 1440);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool SaveScreenshot(HWND window, const std::filesystem::path& file) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    platform::OwnedBitmap bitmap(
        ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HGDIOBJ old = ::SelectObject(memory, bitmap.get());
    const bool copied =
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    ::GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    bool written = false;
    if (copied && bits != nullptr) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        out.write(static_cast<const char*>(bits), imageSize);
        written = out.good();
    }
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written;
}

std::filesystem::path BuildFolder() {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return std::filesystem::path(exe).parent_path();
}

std::filesystem::path ScreenshotFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VANTOLINE_SCREENSHOTS", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::filesystem::path(folder) : BuildFolder();
}

} // namespace driver
