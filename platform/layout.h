// Layout arithmetic of our windows: twips to pixels at a DPI, the scale for a message font
// larger than the one the layouts were drawn for, and controls that grow to fit their text.
// Portable: no Win32 type shows here, so native tests cover it.
#pragma once

#include <span>
#include <vector>

namespace platform {

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

struct PixelRect {
    int left;
    int top;
    int width;
    int height;

    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const PixelRect&) const = default;
};

struct PixelSize {
    int width;
    int height;
};

// What a font measures for the layout, in pixels: the width of one fixed sample text and the
// height of a line.
struct FontMeasures {
    int sampleWidth;
    int lineHeight;
};

// Twips to pixels at a DPI, stretched by the ratio of the message font to the font the layout
// was drawn for (widths across, line heights down), the way dialog units follow a dialog's
// font. A smaller font never shrinks the layout.
class LayoutScale {
public:
    LayoutScale(int dpi, FontMeasures font, FontMeasures drawnFor);

    int X(int twips) const;
    int Y(int twips) const;
    PixelRect Rect(const TwipsRect& rect) const;

private:
    int dpi_;
    long long xNum_, xDen_, yNum_, yDen_;
};

// A window's controls laid out by a LayoutScale, each grown to the size its content needs.
class FittedLayout {
public:
    // needs[i] is the least size control i needs (0 where it needs nothing). A control that
    // grows down moves the controls below it (those whose top lies at or below its middle) down
    // by as much.
    FittedLayout(const LayoutScale& scale, std::span<const TwipsRect> rects,
                 std::span<const PixelSize> needs);

    const std::vector<PixelRect>& Controls() const { return controls_; }
    // A client width in twips, wide enough for the grown controls with the layout's own right
    // margin; a client height in twips (an edge below the controls that end above it), moved
    // down as far as those controls have grown. Never less than the scaled size.
    int ClientWidth(int twips) const;
    int ClientHeight(int twips) const;

private:
    LayoutScale scale_;
    std::vector<TwipsRect> rects_;
    std::vector<PixelRect> controls_;
};

} // namespace platform
