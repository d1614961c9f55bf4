// The forms' windows: their state, their procedure and their creation.
#include "window.h"

#include "control_metrics.h"
#include "dpi.h"
#include "form_window.h"
#include "placement.h"
#include "window_state.h"

#include <algorithm>
#include <vector>

namespace platform {

namespace {

using State = Window::State;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

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

bool IsPushButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefaultButton;
}

const wchar_t* ControlClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultButton:
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
    case ControlKind::DefaultButton:
        return style | WS_TABSTOP | BS_DEFPUSHBUTTON;
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

// Whether a comes before b in the order of the Tab key: by tab index, those that take no focus
// last.
bool TabsBefore(const ControlState* a, const ControlState* b) {
    const bool aStops = a->desc.tabIndex != kNoTabStop;
    const bool bStops = b->desc.tabIndex != kNoTabStop;
    if (aStops != bStops) {
        return aStops;
    }
    return aStops && a->desc.tabIndex < b->desc.tabIndex;
}

// Controls in the order of the Tab key, equal ones as listed. A form has a handful of controls:
// an insertion sort, which is stable and small.
std::vector<ControlState*> InTabOrder(std::vector<ControlState>& controls) {
    std::vector<ControlState*> order;
    for (ControlState& control : controls) {
        order.push_back(&control);
        for (std::size_t i = order.size() - 1; i > 0 && TabsBefore(order[i], order[i - 1]); --i) {
            std::swap(order[i], order[i - 1]);
        }
    }
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

void OnDpiChanged(State& state, UINT dpi, const RECT& suggested) {
    state.dpi = dpi;
    ApplyMetrics(state);
    const SIZE size = OuterSize(state);
    ::SetWindowPos(state.hwnd, nullptr, suggested.left, suggested.top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// A new message font ("Make text bigger"): laid out again as for a new DPI, with the client
// height the window was given, where it stands as far as the screen allows.
void OnMessageFontChanged(State& state) {
    if (!state.controlsCreated) {
        return; // CreateControls lays them out in the font of its time
    }
    ApplyMetrics(state);
    Resize(state);
    KeepOnScreen(state.hwnd);
}

const ControlState* DefaultButton(const State& state) {
    for (const ControlState& control : state.controls) {
        if (control.desc.kind == ControlKind::DefaultButton) {
            return &control;
        }
    }
    return nullptr;
}

// As the close box closes the window: hidden, then the form's unload.
void Close(State& state) {
    ::ShowWindow(state.hwnd, SW_HIDE);
    state.events->Form_Unload();
}

// A push button's click, or a command of the keyboard that IsDialogMessage sends where no
// control of ours bears its id: IDOK for Enter (where it found no default button), IDCANCEL
// for Escape.
void OnCommand(State& state, int id, int code, HWND from) {
    const ControlState* control = state.Find(id);
    if (control == nullptr) {
        const ControlState* button = id == IDOK ? DefaultButton(state) : nullptr;
        if (button != nullptr) {
            state.events->Control_Click(button->desc.id);
        } else if (id == IDCANCEL) {
            Close(state);
        }
        return;
    }
    if (code == BN_CLICKED && from != nullptr && IsPushButton(control->desc.kind)) {
        state.events->Control_Click(id);
    }
}

// A failure that a form's handler lets out ends the program here (see unhandled.h): it never
// travels through the system's frames of the message dispatch.
LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
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
        OnCommand(*state, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case DM_GETDEFID:
        // Asked by IsDialogMessage for Enter, and for the default button's look as the focus
        // moves.
        if (const ControlState* button = DefaultButton(*state)) {
            return MAKELRESULT(button->desc.id, DC_HASDEFID);
        }
        break;
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
    case WM_GETDPISCALEDSIZE:
        // Asked before WM_DPICHANGED, as the window moves onto a screen of another DPI: the
        // size it will then take, so that the rectangle Windows suggests fits it and the window
        // doesn't bounce between the two screens.
        *reinterpret_cast<SIZE*>(lParam) = OuterSizeAt(*state, static_cast<UINT>(wParam));
        return TRUE;
    case WM_DPICHANGED:
        OnDpiChanged(*state, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETNONCLIENTMETRICS) {
            OnMessageFontChanged(*state);
        }
        break;
    case WM_CLOSE:
        Close(*state);
        return 0;
    case WM_DESTROY:
        state->accessibleNames.Clear(); // the controls are still there
        break;
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

Window::Window(const WindowDesc& desc, std::span<const ControlDesc> controls, FormEvents& events,
               ControlCreation creation)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.events = &events;
    state.caption = desc.caption;
    state.clientWidthTwips = desc.clientWidthTwips;
    state.clientHeightTwips = desc.clientHeightTwips;
    state.iconResource = desc.iconResource;
    // A fixed tool-window frame with a close box only: no sizing border, no minimize or
    // maximize box.
    state.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    state.exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW | WS_EX_TOOLWINDOW;
    state.dpi = DpiOfPrimaryScreen();

    const std::wstring className(desc.className);
    RegisterClassOnce(className);
    const SIZE size = OuterSize(state);
    state.centred = desc.placement == Placement::CentreScreen;
    const int position = state.centred ? 0 : CW_USEDEFAULT; // centred once laid out
    if (::CreateWindowExW(state.exStyle, className.c_str(), state.caption.c_str(), state.style,
                          position, position, size.cx, size.cy, nullptr, nullptr, ThisModule(),
                          &state) == nullptr) {
        state.creationError = ::GetLastError();
        state.hwnd = nullptr;
        return;
    }
    // The window may have been created on a screen with another DPI than the primary one.
    state.dpi = DpiOfWindow(state.hwnd);

    state.controls.reserve(controls.size());
    for (const ControlDesc& controlDesc : controls) {
        ControlState control{controlDesc, std::wstring(controlDesc.caption),
                             std::wstring(controlDesc.accessibleName), nullptr};
        control.desc.caption = {};
        control.desc.accessibleName = {};
        state.controls.push_back(std::move(control));
    }
    if (creation == ControlCreation::Now) {
        CreateControls();
    }
}

void Window::CreateControls() {
    State& state = *state_;
    if (state.hwnd == nullptr || state.controlsCreated) {
        return;
    }
    state.controlsCreated = true;
    for (ControlState& control : state.controls) {
        control.hwnd = ::CreateWindowExW(
            0, ControlClass(control.desc.kind), control.caption.c_str(), ControlStyle(control.desc),
            0, 0, 0, 0, state.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.desc.id)),
            ThisModule(), nullptr);
        if (control.hwnd == nullptr) {
            // A window without one of its controls is no window at all (see CreationError).
            state.creationError = ::GetLastError();
            ::DestroyWindow(state.hwnd);
            return;
        }
        if (!control.accessibleName.empty()) {
            state.accessibleNames.Set(control.hwnd, control.accessibleName);
        }
    }
    // The Tab key and the painting of overlapping controls follow the z-order.
    HWND previous = HWND_TOP;
    for (ControlState* control : InTabOrder(state.controls)) {
        ::SetWindowPos(control->hwnd, previous, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control->hwnd;
    }
    ApplyMetrics(state);
    Resize(state); // the DPI of the window's screen and the message font
    if (state.centred) {
        CentreOnScreen(state.hwnd);
    } else {
        KeepOnScreen(state.hwnd);
    }
}

Window::~Window() {
    if (!state_ || state_->hwnd == nullptr) {
        return;
    }
    // The picture control's own copy of the banner goes before the window does.
    for (ControlState& control : state_->controls) {
        if (control.desc.kind == ControlKind::Picture) {
            SetPicture(*state_, control.hwnd, OwnedBitmap());
        }
    }
    ::DestroyWindow(state_->hwnd);
}

void Window::Show() {
    CreateControls(); // never on screen without them
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
    return ControlText(control->hwnd);
}

void Window::SetText(int controlId, const std::wstring& text) {
    ControlState* control = state_->Find(controlId);
    if (control == nullptr) {
        return;
    }
    ::SetWindowTextW(control->hwnd, text.c_str());
    if (control->desc.kind == ControlKind::Label) {
        // A longer text may wrap onto more lines: the label and what lies below it grow.
        LayOutControls(*state_);
        Resize(*state_);
        KeepOnScreen(state_->hwnd);
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
        KeepOnScreen(state_->hwnd); // a taller window may reach below the screen
    }
}

void* Window::NativeHandle() const {
    return state_->hwnd;
}

std::uint32_t Window::CreationError() const {
    return state_->creationError;
}

bool IsFormWindow(HWND window) {
    return ::GetClassLongPtrW(window, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(WindowProc);
}

} // namespace platform
