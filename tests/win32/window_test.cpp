// platform::Window in this process: the banner's bitmaps, a window that can't be created and
// one whose controls are made later.
#include "platform/window.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace platform {
namespace {

class NoEvents final : public FormEvents {};

constexpr ControlDesc kBanner[] = {
    {1, ControlKind::Picture, L"", {0, 0, 5535, 1050}, kNoTabStop, IDR_BANNER}};

TEST(Window, EveryCopyOfTheBannerGoesWithTheNextDpiChangeAndTheLastWithTheWindow) {
    NoEvents events;
    const WindowDesc desc{L"Test.Banner", L"Banner",         5580,
                          1800,           Frame::ToolWindow, Placement::CentreScreen};
    std::vector<HGDIOBJ> shown; // the bitmaps the picture control showed, one per DPI
    DWORD objectsBefore = 0;
    DWORD objectsAfter = 0;
    {
        Window window(desc, kBanner, events);
        auto* hwnd = static_cast<HWND>(window.NativeHandle());
        ASSERT_NE(hwnd, nullptr);
        HWND picture = ::GetDlgItem(hwnd, 1);
        shown.push_back(
            reinterpret_cast<HGDIOBJ>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        objectsBefore = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        for (int change = 0; change < 50; ++change) {
            const UINT dpi = change % 2 == 0 ? 144 : 96;
            RECT suggested{0, 0, 600, 300};
            ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                           reinterpret_cast<LPARAM>(&suggested));
            shown.push_back(
                reinterpret_cast<HGDIOBJ>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        }
        objectsAfter = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
            EXPECT_EQ(::GetObjectType(shown[i]), 0u) << "still alive after change " << i;
        }
        EXPECT_EQ(::GetObjectType(shown.back()), static_cast<DWORD>(OBJ_BITMAP));
    }
    EXPECT_EQ(::GetObjectType(shown.back()), 0u) << "alive after the window went";
    // Wine counts no GDI objects (0): the handles above are the check there.
    EXPECT_LE(objectsAfter, objectsBefore);
}

TEST(Window, AWindowThatCannotBeCreatedSaysWhy) {
    NoEvents events;
    // No class can be registered or found under an empty name.
    const WindowDesc desc{L"", L"Nothing", 1000, 1000, Frame::ToolWindow, Placement::SystemDefault};
    const Window window(desc, kBanner, events);
    EXPECT_EQ(window.NativeHandle(), nullptr);
    EXPECT_NE(window.CreationError(), 0u);
}

TEST(Window, ControlsMadeLaterComeOnceAndBeforeTheWindowShows) {
    NoEvents events;
    const WindowDesc desc{L"Test.Later", L"Later",          5580,
                          1800,          Frame::ToolWindow, Placement::CentreScreen};
    Window window(desc, kBanner, events, ControlCreation::Later);
    auto* hwnd = static_cast<HWND>(window.NativeHandle());
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(::GetWindow(hwnd, GW_CHILD), nullptr);
    window.Show();
    HWND picture = ::GetDlgItem(hwnd, 1);
    ASSERT_NE(picture, nullptr);
    window.CreateControls();
    EXPECT_EQ(::GetWindow(picture, GW_HWNDNEXT), nullptr) << "made twice";
    window.Hide();
}

} // namespace
} // namespace platform
