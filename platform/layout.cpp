#include "layout.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

namespace platform {
namespace {

constexpr long long kTwipsPerInch = 1440;

// value * num / den rounded to the nearest whole number, halves away from zero (as MulDiv).
int Scaled(long long value, long long num, long long den) {
    const long long product = value * num;
    const long long half = den / 2;
    return static_cast<int>(product >= 0 ? (product + half) / den : -((-product + half) / den));
}

} // namespace

LayoutScale::LayoutScale(int dpi, FontMeasures font, FontMeasures drawnFor)
    : dpi_(dpi), xNum_(1), xDen_(1), yNum_(1), yDen_(1) {
    if (drawnFor.sampleWidth > 0 && font.sampleWidth > drawnFor.sampleWidth) {
        xNum_ = font.sampleWidth;
        xDen_ = drawnFor.sampleWidth;
    }
    if (drawnFor.lineHeight > 0 && font.lineHeight > drawnFor.lineHeight) {
        yNum_ = font.lineHeight;
        yDen_ = drawnFor.lineHeight;
    }
}

int LayoutScale::X(int twips) const {
    return Scaled(static_cast<long long>(twips) * dpi_, xNum_, kTwipsPerInch * xDen_);
}

int LayoutScale::Y(int twips) const {
    return Scaled(static_cast<long long>(twips) * dpi_, yNum_, kTwipsPerInch * yDen_);
}

PixelRect LayoutScale::Rect(const TwipsRect& rect) const {
    return PixelRect{X(rect.left), Y(rect.top), X(rect.width), Y(rect.height)};
}

FittedLayout::FittedLayout(const LayoutScale& scale, std::span<const TwipsRect> rects,
                           std::span<const PixelSize> needs)
    : scale_(scale), rects_(rects.begin(), rects.end()) {
    const std::size_t count = rects_.size();
    for (const TwipsRect& rect : rects_) {
        controls_.push_back(scale_.Rect(rect));
    }
    // From the top down, so that a control has moved before the controls below it are placed.
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return rects_[a].top < rects_[b].top; });
    std::vector<int> growth(count, 0);      // how far each control's bottom edge has moved down
    std::vector<bool> taller(count, false); // whether a control grew to a height of its own
    for (std::size_t j : order) {
        const TwipsRect& below = rects_[j];
        PixelRect& control = controls_[j];
        const int scaledBottom = control.bottom();
        int top = control.top;
        for (std::size_t i = 0; i < count; ++i) {
            const TwipsRect& above = rects_[i];
            if (i != j && above.top < below.top && 2 * below.top >= 2 * above.top + above.height) {
                top = std::max(top, control.top + growth[i]);
                if (taller[i]) {
                    // Drawn overlapping, the controls may no longer: the grown one is full.
                    top = std::max(top, controls_[i].bottom());
                }
            }
        }
        const PixelSize need = j < needs.size() ? needs[j] : PixelSize{0, 0};
        control.top = top;
        control.width = std::max(control.width, need.width);
        taller[j] = need.height > control.height;
        control.height = std::max(control.height, need.height);
        growth[j] = control.bottom() - scaledBottom;
    }
}

int FittedLayout::ClientWidth(int twips) const {
    const int scaled = scale_.X(twips);
    int drawnRight = 0;
    int grownRight = 0;
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        drawnRight = std::max(drawnRight, scale_.X(rects_[i].left) + scale_.X(rects_[i].width));
        grownRight = std::max(grownRight, controls_[i].right());
    }
    const int margin = std::max(scaled - drawnRight, 0);
    return std::max(scaled, grownRight + margin);
}

int FittedLayout::ClientHeight(int twips) const {
    int moved = 0;
    int bottom = 0; // top and height round apart: a bottom may lie a pixel below the edge
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        if (rects_[i].top + rects_[i].height <= twips) {
            const PixelRect drawn = scale_.Rect(rects_[i]);
            moved = std::max(moved, controls_[i].bottom() - drawn.bottom());
            bottom = std::max(bottom, controls_[i].bottom());
        }
    }
    return std::max(scale_.Y(twips) + moved, bottom);
}

} // namespace platform
