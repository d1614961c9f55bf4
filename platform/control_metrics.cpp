#include "control_metrics.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

namespace platform {
namespace {

// A drop-down list's closed height less its selection field: its edges.
int ComboEdges(HWND combo) {
    RECT closed{};
    ::GetWindowRect(combo, &closed);
    const int field = static_cast<int>(::SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
    return std::max(static_cast<int>(closed.bottom - closed.top) - field, 0);
}

} // namespace

MeasuringDc::MeasuringDc(HFONT font) : screen_(nullptr), font_(screen_.get(), font) {}

FontMeasures MeasuringDc::Measures() const {
    static constexpr std::wstring_view kSample =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE sample{};
    TEXTMETRICW metrics{};
    if (!screen_ ||
        !::GetTextExtentPoint32W(get(), kSample.data(), static_cast<int>(kSample.size()),
                                 &sample) ||
        !::GetTextMetricsW(get(), &metrics)) {
        return FontMeasures{0, 0};
    }
    return FontMeasures{sample.cx, metrics.tmHeight};
}

FontMeasures DrawnForMeasures(UINT dpi) {
    LOGFONTW drawnFor{};
    drawnFor.lfHeight = ::MulDiv(-11, static_cast<int>(dpi), 96);
    drawnFor.lfWeight = FW_NORMAL;
    drawnFor.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(drawnFor.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    const OwnedFont font(::CreateFontIndirectW(&drawnFor));
    return MeasuringDc(font.get()).Measures();
}

std::wstring ControlText(HWND control) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

PixelSize CaptionNeed(HWND control, ControlKind kind, int width, const MeasuringDc& dc,
                      int lineHeight) {
    switch (kind) {
    case ControlKind::CheckBox:
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        SIZE ideal{};
        if (::SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
            return PixelSize{static_cast<int>(ideal.cx), lineHeight};
        }
        return PixelSize{0, lineHeight};
    }
    case ControlKind::Label: {
        const std::wstring text = ControlText(control);
        RECT rect{0, 0, width, 0};
        if (!text.empty()) {
            // As a left-aligned static control wraps and draws it.
            ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect,
                        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        }
        return PixelSize{0, std::max(static_cast<int>(rect.bottom - rect.top), lineHeight)};
    }
    case ControlKind::DropDownList:
        // The selection field: a line of text within the combo box's edges.
        return PixelSize{0, lineHeight + ComboEdges(control)};
    case ControlKind::Picture:
        break;
    }
    return PixelSize{0, 0};
}

void FitDropDown(HWND combo, const RECT& rect, int itemCount, int lineHeight) {
    // The height given at creation is that of the opened list; closed, the control is as tall
    // as its selection field and its edges.
    const int wanted = rect.bottom - rect.top;
    ::SetWindowPos(combo, nullptr, rect.left, rect.top, rect.right - rect.left, wanted,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    const int edges = ComboEdges(combo);
    const int field = std::max(wanted - edges, lineHeight);
    ::SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), field);
    const int item = static_cast<int>(::SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    const int entries = std::max(itemCount, 1);
    ::SetWindowPos(combo, nullptr, rect.left, rect.top, rect.right - rect.left,
                   field + edges + item * entries + 2, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(combo, CB_SETMINVISIBLE, WPARAM(entries), 0);
}

} // namespace platform
