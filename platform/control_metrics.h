// Measuring captions and controls: what a control needs to show its text in the current
// font, and the drop-down list's field fitted to a height. Included only by platform sources.
#pragma once

#include "layout.h"
#include "win_owned.h"
#include "window.h"

#include <string>

namespace platform {

// A device context of the screen with a font selected, for measuring texts in that font.
class MeasuringDc {
public:
    explicit MeasuringDc(HFONT font);

    HDC get() const { return screen_.get(); }
    // The A-Z a-z width and the line height; zeros where the font can't be measured.
    FontMeasures Measures() const;

private:
    WindowDc screen_;
    SelectedObject font_;
};

// The font the layouts were drawn for: the 8-point "MS Shell Dlg" of 11 pixels at 96 DPI,
// scaled to the DPI as the system scales its message font.
FontMeasures DrawnForMeasures(UINT dpi);

// The whole text of a window or control.
std::wstring ControlText(HWND control);

// The least size the control needs to show its caption in the font selected into dc, for a
// control of the given width; lineHeight is that font's.
PixelSize CaptionNeed(HWND control, ControlKind kind, int width, const MeasuringDc& dc,
                      int lineHeight);

// Places a drop-down list with its closed field as tall as rect, but never lower than a line
// of text (lineHeight), and its opened list tall enough for itemCount entries.
void FitDropDown(HWND combo, const RECT& rect, int itemCount, int lineHeight);

} // namespace platform
