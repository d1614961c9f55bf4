// Laying a form's window out: its font, its controls fitted to their captions, its picture,
// its icons and its size, for the DPI of its screen and the message font.
#include "control_metrics.h"
#include "dpi.h"
#include "picture.h"
#include "window_state.h"

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

using State = Window::State;

// An opened drop-down list has room for this many entries at least, before a scroll bar.
constexpr int kOpenedListRows = 15;

void ApplyFont(State& state) {
    NONCLIENTMETRICSW metrics = NonClientMetricsForDpi(state.dpi);
    OwnedFont font(::CreateFontIndirectW(&metrics.lfMessageFont));
    for (ControlState& control : state.controls) {
        ::SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    state.font = std::move(font); // the old font goes only after no control uses it
}

// Scales the layout for the DPI and the message font and grows each control to its caption.
FittedLayout FitControls(const State& state, const MeasuringDc& dc, const FontMeasures& font) {
    const LayoutScale scale(static_cast<int>(state.dpi), font, DrawnForMeasures(state.dpi));
    std::vector<TwipsRect> rects;
    std::vector<PixelSize> needs;
    for (const ControlState& control : state.controls) {
        rects.push_back(control.desc.rect);
        needs.push_back(CaptionNeed(control.hwnd, control.desc.kind,
                                    scale.Rect(control.desc.rect).width, dc, font.lineHeight));
    }
    return FittedLayout(scale, rects, needs);
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

} // namespace

// Gives the picture control a bitmap of its size. With Common Controls 6 the control keeps a
// copy of a bitmap with alpha and hands back its previous copy: that one is ours to delete.
void SetPicture(State& state, HWND control, OwnedBitmap picture) {
    OwnedBitmap previous(reinterpret_cast<HBITMAP>(::SendMessageW(
        control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()))));
    if (previous.get() == state.picture.get()) {
        previous.release(); // ours, which goes below
    }
    state.picture = std::move(picture);
}

void LayOutControls(State& state) {
    const MeasuringDc dc(state.font.get());
    const FontMeasures font = dc.Measures();
    state.layout = FitControls(state, dc, font);
    for (std::size_t i = 0; i < state.controls.size(); ++i) {
        ControlState& control = state.controls[i];
        const PixelRect& rect = state.layout->Controls()[i];
        switch (control.desc.kind) {
        case ControlKind::DropDownList: {
            const int itemCount = static_cast<int>(::SendMessageW(control.hwnd, CB_GETCOUNT, 0, 0));
            FitDropDown(control.hwnd, RECT{rect.left, rect.top, rect.right(), rect.bottom()},
                        std::max(itemCount, kOpenedListRows), font.lineHeight);
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

// The font, the controls' places and the icons for the window's DPI and the message font.
void ApplyMetrics(State& state) {
    ApplyFont(state);
    LayOutControls(state);
    ApplyIcons(state);
}

SIZE OuterSizeAt(State& state, UINT dpi) {
    // The layout is not linear in the DPI (the font's size steps, captions grow to fit), so the
    // controls are laid out at that DPI as WM_DPICHANGED will lay them out, measured, and laid
    // out at their own DPI again. Nothing is painted in between.
    const UINT own = state.dpi;
    state.dpi = dpi;
    ApplyFont(state);
    LayOutControls(state);
    const SIZE size = OuterSize(state);
    state.dpi = own;
    ApplyFont(state);
    LayOutControls(state);
    return size;
}

} // namespace platform
