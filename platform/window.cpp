#include "window.h"

#include "dpi.h"
#include "picture.h"
#include "win_owned.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace platform {

struct ControlState {
    ControlDesc desc;
    std::wstring caption; // owned copy: the description's view need not outlive the window
    HWND hwnd = nullptr;
};

struct Window::State {
    FormEvents* events = nullptr;
    std::wstring caption;
    int clientWidthTwips = 0;
    int clientHeightTwips = 0;
    int iconResource = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    UINT dpi = 96;
    HWND focus = nullptr; // the control that had the focus when the window was deactivated
    std::vector<ControlState> controls;
    OwnedFont font;
    OwnedBitmap picture;
    OwnedIcon bigIcon;
    OwnedIcon smallIcon;
    HWND hwnd = nullptr; // destroyed in ~Window, before the GDI objects above

    ControlState* Find(int id) {
        for (ControlState& control : controls) {
            if (control.desc.id == id) {
                return &control;
            }
        }
        return nullptr;
    }
    const ControlState* Find(int id) const { return const_cast<State*>(this)->Find(id); }
};

namespace {

using State = Window::State;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

HINSTANCE ThisModule() {
    return ::GetModuleHandleW(nullptr);
}

void RegisterClassOnce(const std::wstring& name) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(ThisModule(), name.c_str(), &existing)) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name.c_str();
    ::RegisterClassExW(&wc);
}

const wchar_t* ControlClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
        return L"BUTTON";
    case ControlKind::DropDownList:
        return L"COMBOBOX";
    case ControlKind::Label:
    case ControlKind::Picture:
        return L"STATIC";
    }
    return L"STATIC";
}

DWORD ControlStyle(const ControlDesc& desc) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (desc.kind) {
    case ControlKind::PushButton:
        return style | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::CheckBox:
        return style | WS_TABSTOP | BS_AUTOCHECKBOX;
    case ControlKind::DropDownList:
        return style | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    case ControlKind::Label:
        // Shown texts may come from the registry or a file: "&" is no mnemonic here.
        return style | SS_LEFT | SS_NOPREFIX;
    case ControlKind::Picture:
        return style | SS_BITMAP | SS_REALSIZECONTROL;
    }
    return style;
}

// Controls in the order of the Tab key: by tab index, those that take no focus last.
std::vector<ControlState*> InTabOrder(std::vector<ControlState>& controls) {
    std::vector<ControlState*> order;
    for (ControlState& control : controls) {
        order.push_back(&control);
    }
    std::stable_sort(order.begin(), order.end(), [](const ControlState* a, const ControlState* b) {
        const bool aStops = a->desc.tabIndex != kNoTabStop;
        const bool bStops = b->desc.tabIndex != kNoTabStop;
        if (aStops != bStops) {
            return aStops;
        }
        return aStops && a->desc.tabIndex < b->desc.tabIndex;
    });
    return order;
}

HWND FirstFocusable(State& state) {
    for (ControlState* control : InTabOrder(state.controls)) {
        if ((::GetWindowLongW(control->hwnd, GWL_STYLE) & WS_TABSTOP) != 0) {
            return control->hwnd;
        }
    }
    return nullptr;
}

// A closed drop-down list is as tall as its selection field; the height given at creation is
// that of the opened list. Fit the field to the wanted height, but never below the text.
void FitDropDown(HWND combo, const RECT& rect, int itemCount, HFONT font) {
    const int wanted = rect.bottom - rect.top;
    ::SetWindowPos(combo, nullptr, rect.left, rect.top, rect.right - rect.left, wanted,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    RECT closed{};
    ::GetWindowRect(combo, &closed);
    const int field = static_cast<int>(::SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
    const int edges = (closed.bottom - closed.top) - field;
    int textHeight = field;
    if (HDC dc = ::GetDC(combo)) {
        HGDIOBJ old = ::SelectObject(dc, font);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, old);
        ::ReleaseDC(combo, dc);
        textHeight = metrics.tmHeight;
    }
    const int newField = std::max(wanted - edges, textHeight);
    ::SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), newField);
    const int item = static_cast<int>(::SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    const int listHeight = newField + edges + item * std::max(itemCount, 1) + 2;
    ::SetWindowPos(combo, nullptr, rect.left, rect.top, rect.right - rect.left, listHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(combo, CB_SETMINVISIBLE, WPARAM(std::max(itemCount, 1)), 0);
}

void ApplyFont(State& state) {
    NONCLIENTMETRICSW metrics = NonClientMetricsForDpi(state.dpi);
    OwnedFont font(::CreateFontIndirectW(&metrics.lfMessageFont));
    for (ControlState& control : state.controls) {
        ::SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    state.font = std::move(font); // the old font goes only after no control uses it
}

void ApplyIcons(State& state) {
    if (state.iconResource == 0) {
        return;
    }
    auto load = [&](int metricX, int metricY) {
        return OwnedIcon(static_cast<HICON>(
            ::LoadImageW(ThisModule(), MAKEINTRESOURCEW(state.iconResource), IMAGE_ICON,
                         MetricForDpi(metricX, state.dpi), MetricForDpi(metricY, state.dpi), 0)));
    };
    OwnedIcon big = load(SM_CXICON, SM_CYICON);
    OwnedIcon small = load(SM_CXSMICON, SM_CYSMICON);
    ::SendMessageW(state.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    ::SendMessageW(state.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    state.bigIcon = std::move(big);
    state.smallIcon = std::move(small);
}

RECT ControlRect(const ControlDesc& desc, UINT dpi) {
    const int left = TwipsToPixels(desc.rect.left, dpi);
    const int top = TwipsToPixels(desc.rect.top, dpi);
    return RECT{left, top, left + TwipsToPixels(desc.rect.width, dpi),
                top + TwipsToPixels(desc.rect.height, dpi)};
}

void LayOutControls(State& state) {
    ApplyFont(state);
    int itemCount = 0;
    for (ControlState& control : state.controls) {
        const RECT rect = ControlRect(control.desc, state.dpi);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        switch (control.desc.kind) {
        case ControlKind::DropDownList:
            itemCount = static_cast<int>(::SendMessageW(control.hwnd, CB_GETCOUNT, 0, 0));
            FitDropDown(control.hwnd, rect, std::max(itemCount, 15), state.font.get());
            break;
        case ControlKind::Picture: {
            OwnedBitmap picture =
                LoadScaledPicture(ThisModule(), control.desc.resource, width, height);
            ::SendMessageW(control.hwnd, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(picture.get()));
            state.picture = std::move(picture);
            ::SetWindowPos(control.hwnd, nullptr, rect.left, rect.top, width, height,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
        default:
            ::SetWindowPos(control.hwnd, nullptr, rect.left, rect.top, width, height,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
    }
}

SIZE OuterSize(const State& state) {
    const RECT outer = WindowRectForClient(TwipsToPixels(state.clientWidthTwips, state.dpi),
                                           TwipsToPixels(state.clientHeightTwips, state.dpi),
                                           state.style, state.exStyle, state.dpi);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void Resize(State& state) {
    const SIZE size = OuterSize(state);
    ::SetWindowPos(state.hwnd, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOnScreen(State& state) {
    RECT window{};
    ::GetWindowRect(state.hwnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(state.hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& screen = monitor.rcMonitor;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::SetWindowPos(state.hwnd, nullptr, screen.left + (screen.right - screen.left - width) / 2,
                   screen.top + (screen.bottom - screen.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnDpiChanged(State& state, UINT dpi, const RECT& suggested) {
    state.dpi = dpi;
    LayOutControls(state);
    ApplyIcons(state);
    const SIZE size = OuterSize(state);
    ::SetWindowPos(state.hwnd, nullptr, suggested.left, suggested.top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* state = static_cast<State*>(create->lpCreateParams);
        state->hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (state == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            const ControlState* control = state->Find(LOWORD(wParam));
            if (control != nullptr && control->desc.kind == ControlKind::PushButton) {
                state->events->Control_Click(control->desc.id);
            }
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus != nullptr && ::IsChild(hwnd, focus)) {
                state->focus = focus;
            }
        } else {
            HWND focus = state->focus != nullptr ? state->focus : FirstFocusable(*state);
            if (focus != nullptr) {
                ::SetFocus(focus);
            }
        }
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(*state, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        ::ShowWindow(hwnd, SW_HIDE);
        state->events->Form_Unload();
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        state->hwnd = nullptr;
        break;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

Window::Window(const WindowDesc& desc, std::span<const ControlDesc> controls, FormEvents& events)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.events = &events;
    state.caption = desc.caption;
    state.clientWidthTwips = desc.clientWidthTwips;
    state.clientHeightTwips = desc.clientHeightTwips;
    state.iconResource = desc.iconResource;
    // Fixed size, close box only: no sizing border, no minimize or maximize box.
    state.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    state.exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    if (desc.frame == Frame::ToolWindow) {
        state.exStyle |= WS_EX_TOOLWINDOW;
    } else {
        state.style |= DS_MODALFRAME;
        state.exStyle |= WS_EX_DLGMODALFRAME;
    }
    state.dpi = DpiOfPrimaryScreen();

    const std::wstring className(desc.className);
    RegisterClassOnce(className);
    const SIZE size = OuterSize(state);
    const bool centred = desc.placement == Placement::CentreScreen;
    ::CreateWindowExW(state.exStyle, className.c_str(), state.caption.c_str(), state.style,
                      centred ? 0 : CW_USEDEFAULT, centred ? 0 : CW_USEDEFAULT, size.cx, size.cy,
                      nullptr, nullptr, ThisModule(), &state);
    if (state.hwnd == nullptr) {
        return;
    }
    // The window may have been created on a screen with another DPI than the primary one.
    const UINT dpi = DpiOfWindow(state.hwnd);
    const bool dpiMoved = dpi != state.dpi;
    state.dpi = dpi;

    state.controls.reserve(controls.size());
    for (const ControlDesc& controlDesc : controls) {
        ControlState control{controlDesc, std::wstring(controlDesc.caption), nullptr};
        control.desc.caption = {};
        control.hwnd = ::CreateWindowExW(
            0, ControlClass(controlDesc.kind), control.caption.c_str(), ControlStyle(controlDesc),
            0, 0, 0, 0, state.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlDesc.id)),
            ThisModule(), nullptr);
        state.controls.push_back(std::move(control));
    }
    // The Tab key and the painting of overlapping controls follow the z-order.
    HWND previous = HWND_TOP;
    for (ControlState* control : InTabOrder(state.controls)) {
        ::SetWindowPos(control->hwnd, previous, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control->hwnd;
    }
    LayOutControls(state);
    ApplyIcons(state);
    if (dpiMoved) {
        Resize(state);
    }
    if (centred) {
        CentreOnScreen(state);
    }
}

Window::~Window() {
    if (state_ && state_->hwnd != nullptr) {
        ::DestroyWindow(state_->hwnd);
    }
}

void Window::Show() {
    if (state_->hwnd == nullptr) {
        return;
    }
    ::ShowWindow(state_->hwnd, SW_SHOW);
    ::SetForegroundWindow(state_->hwnd);
    if (HWND focus = FirstFocusable(*state_); focus != nullptr && state_->focus == nullptr) {
        ::SetFocus(focus);
    }
}

void Window::Hide() {
    if (state_->hwnd != nullptr) {
        ::ShowWindow(state_->hwnd, SW_HIDE);
    }
}

std::wstring Window::Text(int controlId) const {
    const ControlState* control = state_->Find(controlId);
    if (control == nullptr) {
        return {};
    }
    const int length = ::GetWindowTextLengthW(control->hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(control->hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

void Window::SetText(int controlId, const std::wstring& text) {
    if (ControlState* control = state_->Find(controlId)) {
        ::SetWindowTextW(control->hwnd, text.c_str());
    }
}

bool Window::IsChecked(int controlId) const {
    const ControlState* control = state_->Find(controlId);
    return control != nullptr &&
           ::SendMessageW(control->hwnd, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
}

void Window::AddItem(int controlId, const std::wstring& text) {
    if (ControlState* control = state_->Find(controlId)) {
        ::SendMessageW(control->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void Window::SetClientHeightTwips(int twips) {
    state_->clientHeightTwips = twips;
    if (state_->hwnd != nullptr) {
        Resize(*state_);
    }
}

void* Window::NativeHandle() const {
    return state_->hwnd;
}

MessageAnswer ShowMessage(const Window* owner, const std::wstring& text, const std::wstring& title,
                          MessageButtons buttons, MessageIcon icon) {
    return ShowMessageBox(owner != nullptr ? owner->NativeHandle() : nullptr, text, title, buttons,
                          icon);
}

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, arrow keys and Enter move and press as in a dialog, in every window of ours.
        HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr &&
            ::GetClassLongPtrW(root, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(WindowProc) &&
            ::IsDialogMessageW(root, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void EndMessageLoop(int exitCode) {
    ::PostQuitMessage(exitCode);
}

} // namespace platform
