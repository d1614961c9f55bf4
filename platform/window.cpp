#include "window.h"

#include "accessible_names.h"
#include "dpi.h"
#include "error_text.h"
#include "picture.h"
#include "win_owned.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {

struct ControlState {
    ControlDesc desc;
    std::wstring caption; // owned copies: the description's views need not outlive the window
    std::wstring accessibleName;
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
    DWORD creationError = 0;
    bool centred = false; // placed in the middle of the screen, else where the system puts it
    bool controlsCreated = false; // the controls' windows exist (see Window::CreateControls)
    HWND focus = nullptr;         // the control that had the focus when the window was deactivated
    std::vector<ControlState> controls;
    OwnedFont font;
    std::optional<FittedLayout> layout; // the controls' pixels for the DPI and font
    OwnedBitmap picture;
    OwnedIcon bigIcon;
    OwnedIcon smallIcon;
    AccessibleNames accessibleNames; // cleared when the window is destroyed
    HWND hwnd = nullptr;             // destroyed in ~Window, before the GDI objects above

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

std::wstring ControlText(HWND control) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

// A device context of the screen with a font selected, for measuring texts.
class MeasuringDc {
public:
    explicit MeasuringDc(HFONT font) : dc_(::GetDC(nullptr)) {
        old_ = dc_ != nullptr ? ::SelectObject(dc_, font) : nullptr;
    }
    ~MeasuringDc() {
        if (dc_ != nullptr) {
            ::SelectObject(dc_, old_);
            ::ReleaseDC(nullptr, dc_);
        }
    }
    MeasuringDc(const MeasuringDc&) = delete;
    MeasuringDc& operator=(const MeasuringDc&) = delete;

    HDC get() const { return dc_; }

    FontMeasures Measures() const {
        static constexpr wchar_t kSample[] =
            L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE sample{};
        TEXTMETRICW metrics{};
        if (dc_ == nullptr || !::GetTextExtentPoint32W(dc_, kSample, 52, &sample) ||
            !::GetTextMetricsW(dc_, &metrics)) {
            return FontMeasures{0, 0};
        }
        return FontMeasures{sample.cx, metrics.tmHeight};
    }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// The font the layouts were drawn for: the 8-point "MS Shell Dlg" of 11 pixels at 96 DPI,
// scaled to the DPI as the system scales its message font.
FontMeasures DrawnForMeasures(UINT dpi) {
    LOGFONTW drawnFor{};
    drawnFor.lfHeight = ::MulDiv(-11, static_cast<int>(dpi), 96);
    drawnFor.lfWeight = FW_NORMAL;
    drawnFor.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(drawnFor.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    OwnedFont font(::CreateFontIndirectW(&drawnFor));
    return MeasuringDc(font.get()).Measures();
}

// The least size a control needs to show its caption in the current font, where it has one.
PixelSize Need(const ControlState& control, const PixelRect& scaled, const MeasuringDc& dc,
               int lineHeight) {
    switch (control.desc.kind) {
    case ControlKind::CheckBox:
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        SIZE ideal{};
        if (::SendMessageW(control.hwnd, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
            return PixelSize{static_cast<int>(ideal.cx), lineHeight};
        }
        return PixelSize{0, lineHeight};
    }
    case ControlKind::Label: {
        const std::wstring text = ControlText(control.hwnd);
        RECT rect{0, 0, scaled.width, 0};
        if (!text.empty()) {
            // As a left-aligned static control wraps and draws it.
            ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect,
                        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        }
        return PixelSize{0, std::max(static_cast<int>(rect.bottom - rect.top), lineHeight)};
    }
    case ControlKind::DropDownList: {
        // The selection field: a line of text within the combo box's edges.
        RECT closed{};
        ::GetWindowRect(control.hwnd, &closed);
        const int field =
            static_cast<int>(::SendMessageW(control.hwnd, CB_GETITEMHEIGHT, WPARAM(-1), 0));
        const int edges = std::max(static_cast<int>(closed.bottom - closed.top) - field, 0);
        return PixelSize{0, lineHeight + edges};
    }
    case ControlKind::Picture:
        break;
    }
    return PixelSize{0, 0};
}

// Scales the layout for the DPI and the message font and grows each control to its caption.
FittedLayout FitControls(const State& state) {
    MeasuringDc dc(state.font.get());
    const FontMeasures font = dc.Measures();
    const LayoutScale scale(static_cast<int>(state.dpi), font, DrawnForMeasures(state.dpi));
    std::vector<TwipsRect> rects;
    std::vector<PixelSize> needs;
    for (const ControlState& control : state.controls) {
        rects.push_back(control.desc.rect);
        needs.push_back(Need(control, scale.Rect(control.desc.rect), dc, font.lineHeight));
    }
    return FittedLayout(scale, rects, needs);
}

// Gives the picture control a bitmap of its size. With Common Controls 6 the control keeps a
// copy of a bitmap with alpha and hands back its previous copy: that one is ours to delete.
void SetPicture(State& state, HWND control, OwnedBitmap picture) {
    const auto previous = reinterpret_cast<HGDIOBJ>(::SendMessageW(
        control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get())));
    if (previous != nullptr && previous != state.picture.get()) {
        ::DeleteObject(previous);
    }
    state.picture = std::move(picture);
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

void LayOutControls(State& state) {
    state.layout = FitControls(state);
    for (std::size_t i = 0; i < state.controls.size(); ++i) {
        ControlState& control = state.controls[i];
        const PixelRect& rect = state.layout->Controls()[i];
        switch (control.desc.kind) {
        case ControlKind::DropDownList: {
            const int itemCount = static_cast<int>(::SendMessageW(control.hwnd, CB_GETCOUNT, 0, 0));
            FitDropDown(control.hwnd, RECT{rect.left, rect.top, rect.right(), rect.bottom()},
                        std::max(itemCount, 15), state.font.get());
            break;
        }
        case ControlKind::Picture: {
            BITMAP shown{};
            if (!state.picture ||
                ::GetObjectW(state.picture.get(), sizeof shown, &shown) != sizeof shown ||
                shown.bmWidth != rect.width || std::abs(shown.bmHeight) != rect.height) {
                SetPicture(state, control.hwnd,
                           LoadScaledPicture(ThisModule(), control.desc.resource, rect.width,
                                             rect.height));
            }
            ::SetWindowPos(control.hwnd, nullptr, rect.left, rect.top, rect.width, rect.height,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
        default:
            ::SetWindowPos(control.hwnd, nullptr, rect.left, rect.top, rect.width, rect.height,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
    }
}

SIZE OuterSize(const State& state) {
    // Before the controls are laid out: the size the layout was drawn for, at the DPI.
    const int width = state.layout ? state.layout->ClientWidth(state.clientWidthTwips)
                                   : TwipsToPixels(state.clientWidthTwips, state.dpi);
    const int height = state.layout ? state.layout->ClientHeight(state.clientHeightTwips)
                                    : TwipsToPixels(state.clientHeightTwips, state.dpi);
    const RECT outer = WindowRectForClient(width, height, state.style, state.exStyle, state.dpi);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void Resize(State& state) {
    const SIZE size = OuterSize(state);
    ::SetWindowPos(state.hwnd, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT WorkAreaOf(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor.rcWork;
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

// Moves a window that a larger font made reach past the work area back into it; where it is
// larger than the work area, its top left corner stays on screen.
void KeepOnScreen(State& state) {
    RECT window{};
    ::GetWindowRect(state.hwnd, &window);
    const RECT work = WorkAreaOf(state.hwnd);
    const LONG left = std::max<LONG>(
        std::min<LONG>(window.left, work.right - (window.right - window.left)), work.left);
    const LONG top = std::max<LONG>(
        std::min<LONG>(window.top, work.bottom - (window.bottom - window.top)), work.top);
    if (left != window.left || top != window.top) {
        ::SetWindowPos(state.hwnd, nullptr, left, top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The font, the controls' places and the icons for the window's DPI and the message font.
void ApplyMetrics(State& state) {
    ApplyFont(state);
    LayOutControls(state);
    ApplyIcons(state);
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
    KeepOnScreen(state);
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
        CentreOnScreen(state);
    } else {
        KeepOnScreen(state);
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
    if (state_->hwnd == nullptr) {
        return;
    }
    CreateControls(); // never on screen without them
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

std::uint32_t Window::CreationError() const {
    return state_->creationError;
}

bool EndIfNotCreated(const Window& window, const std::wstring& title) {
    if (window.NativeHandle() != nullptr) {
        return false;
    }
    ShowMessageBox(nullptr, ErrorText(window.CreationError()), title, MessageButtons::Ok,
                   MessageIcon::Error);
    EndMessageLoop(1);
    return true;
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
