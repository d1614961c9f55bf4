// Layout arithmetic: twips to pixels for a DPI and a message font, and controls grown to fit.
#include "platform/layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

constexpr FontMeasures kDrawnFor96{334, 12}; // the 8-point font at 96 DPI: A-Z a-z, line height

TEST(LayoutScale, FollowsTheDpiAndGrowsOnlyForALargerFont) {
    struct Case {
        const char* what;
        int dpi;
        FontMeasures font;
        FontMeasures drawnFor;
        int width;  // 3840 twips across
        int height; // 4785 twips down
    };
    const Case cases[] = {
        {"the font drawn for, 96 DPI", 96, kDrawnFor96, kDrawnFor96, 256, 319},
        {"the font drawn for, 144 DPI: halves round up", 144, {491, 17}, {491, 17}, 384, 479},
        {"twice as wide and tall", 96, {668, 24}, kDrawnFor96, 512, 638},
        {"a larger font at 144 DPI", 144, {509, 19}, {491, 17}, 398, 535},
        {"a smaller font never shrinks", 96, {300, 11}, kDrawnFor96, 256, 319},
        {"wider only", 96, {668, 12}, kDrawnFor96, 512, 319},
        {"unmeasured fonts change nothing", 120, {0, 0}, {0, 0}, 320, 399},
    };
    for (const Case& c : cases) {
        const LayoutScale scale(c.dpi, c.font, c.drawnFor);
        EXPECT_EQ(scale.X(3840), c.width) << c.what;
        EXPECT_EQ(scale.Y(4785), c.height) << c.what;
    }
}

// The selection window's label, two check boxes and its button, at 96 DPI.
const std::vector<TwipsRect> kColumn{
    {120, 120, 3615, 495}, {120, 600, 975, 255}, {120, 840, 855, 255}, {120, 4320, 3615, 375}};

TEST(FittedLayout, ControlsThatFitKeepTheScaledLayout) {
    const LayoutScale scale(96, kDrawnFor96, kDrawnFor96);
    const std::vector<PixelSize> needs{{0, 26}, {60, 13}, {57, 17}, {0, 0}};
    const FittedLayout layout(scale, kColumn, needs);
    EXPECT_EQ(layout.Controls(),
              (std::vector<PixelRect>{
                  {8, 8, 241, 33}, {8, 40, 65, 17}, {8, 56, 57, 17}, {8, 288, 241, 25}}));
    EXPECT_EQ(layout.ClientWidth(3840), 256);
    EXPECT_EQ(layout.ClientHeight(4785), 319);
}

TEST(FittedLayout, AGrownControlPushesWhatLiesBelowAndTheWindowGrows) {
    const LayoutScale scale(96, kDrawnFor96, kDrawnFor96);
    // The label needs three lines (9 px more); the first box a wider caption and 3 px more.
    const std::vector<PixelSize> needs{{0, 42}, {300, 20}, {0, 0}, {0, 0}};
    const FittedLayout layout(scale, kColumn, needs);
    // The label overlaps the first box by a pixel as drawn: still "below" it, and once the label
    // is full of text the box moves off it, as the next box moves off the grown first one.
    EXPECT_EQ(layout.Controls(),
              (std::vector<PixelRect>{
                  {8, 8, 241, 42}, {8, 50, 300, 20}, {8, 70, 57, 17}, {8, 302, 241, 25}}));
    EXPECT_EQ(layout.ClientWidth(3840), 308 + 7); // the drawn right margin kept
    EXPECT_EQ(layout.ClientHeight(4785), 319 + 14);
}

TEST(FittedLayout, AnEdgeMovesWithTheControlsAboveIt) {
    // The main window: banner, list, button, and the result line below the compact height.
    const std::vector<TwipsRect> rects{
        {0, 0, 5535, 1050}, {120, 960, 5355, 315}, {120, 1320, 5355, 375}, {120, 1750, 5415, 255}};
    const LayoutScale scale(96, {334, 24}, kDrawnFor96); // lines twice as tall
    const std::vector<PixelSize> needs{{0, 0}, {0, 0}, {0, 0}, {0, 40}};
    const FittedLayout layout(scale, rects, needs);
    EXPECT_EQ(layout.Controls()[1].top, 128); // the list lies partly on the banner: unmoved
    EXPECT_EQ(layout.Controls()[3].bottom(), 233 + 40);
    EXPECT_EQ(layout.ClientHeight(1800), 240); // the compact height: the result line below it
    EXPECT_EQ(layout.ClientHeight(2005), 273); // the expanded height: the line's grown bottom

    // 2.5 times as tall: top and height of the line round up apart, one pixel past the edge.
    const FittedLayout rounded(LayoutScale(96, {334, 30}, kDrawnFor96), rects, {});
    EXPECT_EQ(rounded.Controls()[3].bottom(), 292 + 43);
    EXPECT_EQ(rounded.ClientHeight(2005), 335);
}

} // namespace
} // namespace platform
