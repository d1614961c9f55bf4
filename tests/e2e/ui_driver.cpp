#include "ui_driver.h"

#include <algorithm>
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

Program::Program(const std::wstring& exe, const std::wstring& commandLine, HANDLE token) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    const BOOL started =
        token != nullptr ? ::CreateProcessAsUserW(token, exe.c_str(), line.data(), nullptr, nullptr,
                                                  FALSE, 0, nullptr, nullptr, &startup, &info)
                         : ::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &startup, &info);
    if (started) {
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

std::optional<MessageBoxView> WaitForMessageBox(DWORD processId,
                                                std::chrono::milliseconds timeout) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = Find(processId, L"#32770", nullptr, true)) != nullptr; },
                   timeout)) {
        return std::nullopt;
    }
    return ReadMessageBox(box);
}

std::optional<MessageBoxView> WaitForMessageBoxTitled(const std::wstring& title,
                                                      std::chrono::milliseconds timeout) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = Find(kAnyProcess, L"#32770", &title, true)) != nullptr; },
                   timeout)) {
        return std::nullopt;
    }
    return ReadMessageBox(box);
}

bool OkTakesPress(HWND box) {
    const HWND ok = ::GetDlgItem(box, IDOK);
    return ok == nullptr || ::IsWindowEnabled(ok);
}

bool WaitForOkAfterItsWait(HWND box) {
    WaitUntil([&] { return !OkTakesPress(box); }, kGrace);
    return WaitUntil([&] { return OkTakesPress(box); });
}

bool AnswerMessageBox(const MessageBoxView& box, int buttonId) {
    const auto press = [&] {
        return ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                              reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, buttonId))) != FALSE;
    };
    if (buttonId != IDOK) {
        return press();
    }
    // A press that the box dropped all the same (it came back to the front and waits again, or
    // it waits without greying OK) is made again.
    constexpr auto kPressTaken = 250ms;
    bool pressed = false;
    WaitUntil([&] {
        if (::IsWindow(box.hwnd) && OkTakesPress(box.hwnd) && press()) {
            pressed = true;
            WaitUntil([&] { return !::IsWindow(box.hwnd); }, kPressTaken);
        }
        return !::IsWindow(box.hwnd);
    });
    return pressed;
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
    const platform::WindowDc screen(nullptr);
    return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
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

bool PressKey(HWND window, WORD key) {
    HWND focus = FocusOf(window);
    if (focus == nullptr) {
        return false; // posted to no window, the keys would go to this thread
    }
    const auto scanCode = static_cast<LPARAM>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    const LPARAM down = 1 | (scanCode << 16); // one repeat, the key's scan code
    const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31); // was down, is released
    const bool pressed = ::PostMessageW(focus, WM_KEYDOWN, key, down) != FALSE;
    // The release finds no window where the press has closed it already (Escape, Enter).
    ::PostMessageW(focus, WM_KEYUP, key, up);
    return pressed;
}

LOGFONTW SetMessageFont(const LOGFONTW* font) {
    constexpr wchar_t kMetrics[] = L"Control Panel\\Desktop\\WindowMetrics";
    if (font == nullptr) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kMetrics, L"MessageFont");
        return LOGFONTW{};
    }
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kMetrics, L"MessageFont", REG_BINARY, font, sizeof *font);
    LOGFONTW shown = *font;
    shown.lfHeight = ::MulDiv(font->lfHeight, ScreenDpi(), 96);
    return shown;
}

LOGFONTW FontOfPoints(const wchar_t* face, int points) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(points, 96, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return font;
}

LOGFONTW SystemMessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                 static_cast<UINT>(ScreenDpi()));
    return metrics.lfMessageFont;
}

ControlLayout MeasureControl(HWND control, const LOGFONTW& logFont) {
    ControlLayout layout;
    layout.hwnd = control;
    ::GetWindowRect(control, &layout.rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&layout.rect), 2);
    const RECT& r = layout.rect;
    const std::wstring kind = ClassOf(control);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    if (kind == L"ComboBox") {
        layout.caption = r;
        return layout;
    }
    if (kind == L"Static" && (style & SS_TYPEMASK) == SS_BITMAP) {
        layout.picture = true; // no caption
        return layout;
    }
    const platform::OwnedFont font(::CreateFontIndirectW(&logFont));
    const platform::WindowDc screen(nullptr);
    const HDC dc = screen.get();
    const platform::SelectedObject selected(dc, font.get());
    const std::wstring text = TextOf(control);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    const int lineHeight = metrics.tmHeight;
    const int midY = (r.top + r.bottom) / 2;
    if (kind == L"Static") {
        // Wrapped as a left-aligned static control wraps it.
        RECT calc{0, 0, r.right - r.left, 0};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc,
                    DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        layout.caption = RECT{r.left, r.top, r.left + calc.right, r.top + calc.bottom};
        layout.fits = layout.caption.right <= r.right && layout.caption.bottom <= r.bottom;
    } else if ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        // Common Controls 6 without a theme: the box, half a "0", then the text with a pixel of
        // margin on each side.
        SIZE zero{};
        ::GetTextExtentPoint32W(dc, L"0", 1, &zero);
        const int box = 12 * ScreenDpi() / 96 + 1;
        const int textLeft = r.left + box + zero.cx / 2 + 1;
        layout.caption = RECT{textLeft, midY - lineHeight / 2, textLeft + extent.cx,
                              midY - lineHeight / 2 + lineHeight};
        layout.fits = layout.caption.right + 1 <= r.right && lineHeight <= r.bottom - r.top;
    } else { // a push button: the text centred, inside its 2-pixel edges
        const int midX = (r.left + r.right) / 2;
        layout.caption = RECT{midX - extent.cx / 2, midY - lineHeight / 2,
                              midX - extent.cx / 2 + extent.cx, midY - lineHeight / 2 + lineHeight};
        layout.fits = extent.cx + 4 <= r.right - r.left && lineHeight + 4 <= r.bottom - r.top;
    }
    return layout;
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
    const platform::WindowDc screen(nullptr);
    const platform::OwnedDc memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const platform::OwnedBitmap bitmap(
        ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const platform::SelectedObject selected(memory.get(), bitmap.get());
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    // The window's own thread paints it meanwhile: the picture is taken once it is the same
    // twice in a row, never half painted.
    std::string previous;
    bool copied = false;
    WaitUntil(
        [&] {
            copied = ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top,
                              SRCCOPY) != FALSE;
            ::GdiFlush();
            if (!copied || bits == nullptr) {
                return true;
            }
            std::string picture(static_cast<const char*>(bits), imageSize);
            const bool settled = picture == previous;
            previous = std::move(picture);
            if (!settled) {
                ::Sleep(50);
            }
            return settled;
        },
        2s);
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
    return written;
}

std::vector<std::string> ImportedDlls(HMODULE file) {
    // A data file's handle points one or two bytes past the image's start.
    const auto* image =
        reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(file) & ~ULONG_PTR{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    for (const auto* descriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        dlls.emplace_back(reinterpret_cast<const char*>(image + descriptor->Name));
    }
    std::sort(dlls.begin(), dlls.end());
    return dlls;
}

std::filesystem::path BuildFolder() {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return std::filesystem::path(exe).parent_path();
}

std::filesystem::path ProgramFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VANTOLINE_PROGRAMS", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::filesystem::path(folder) : BuildFolder();
}

std::filesystem::path ScreenshotFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VANTOLINE_SCREENSHOTS", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::filesystem::path(folder) : BuildFolder();
}

} // namespace driver
