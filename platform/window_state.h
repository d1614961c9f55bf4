// The state behind a Window and the steps that lay it out for its DPI and the message font,
// shared by window.cpp (procedure and creation) and window_layout.cpp. Included only there.
#pragma once

#include "accessible_names.h"
#include "layout.h"
#include "win_owned.h"
#include "window.h"

#include <optional>
#include <string>
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

inline HINSTANCE ThisModule() {
    return ::GetModuleHandleW(nullptr);
}

// The font, the controls' places and the icons for the window's DPI and the message font.
void ApplyMetrics(Window::State& state);
// The controls' places again, for a caption that changed.
void LayOutControls(Window::State& state);
// The window's outer size for its client size at its DPI, once laid out in its font.
SIZE OuterSize(const Window::State& state);
// The outer size the window takes at another DPI, for WM_GETDPISCALEDSIZE; leaves it as it was.
SIZE OuterSizeAt(Window::State& state, UINT dpi);
void Resize(Window::State& state);
// Gives the picture control a bitmap (or none) and deletes what the control hands back.
void SetPicture(Window::State& state, HWND control, OwnedBitmap picture);

} // namespace platform
