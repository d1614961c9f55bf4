// platform::Window in this process: the banner's bitmaps, a window that can't be created, one
// whose controls are made later, a new message font while a window is open, a new DPI asked
// about, and a window that grows at the bottom of its screen.
#include "platform/window.h"
#include "resources/resource_ids.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace platform {
namespace {

class NoEvents final : public FormEvents {};

constexpr ControlDesc kBanner[] = {
    {1, ControlKind::Picture, L"", {0, 0, 5535, 1050}, kNoTabStop, IDR_BANNER}};

// The main window's "Set Language" and its result line, in a window of its size.
constexpr ControlDesc kResultControls[] = {
    {10, ControlKind::DefaultButton, L"Set Language", {120, 1320, 5355, 375}, 0},
    {11, ControlKind::Label, L"", {120, 1750, 5415, 255}, kNoTabStop},
};
const WindowDesc kResultWindow{L"Test.Result", L"Result",         5580,
                               1800,           Frame::ToolWindow, Placement::CentreScreen};

SIZE OuterSizeOf(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

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

// "Make text bigger" while the main window shows its result line: the window lays itself out
// again in the new font, as for a new DPI, and keeps the height that shows the line. Under Wine
// only the process that sets the font sees it (a program running beside it reads its old one
// until it starts again), so the window is this process's own.
TEST(Window, ANewMessageFontLaysTheOpenWindowOutAgainAtItsGivenHeight) {
    if (test::RunningFromKit()) {
        GTEST_SKIP() << "changes the system's message font for a moment, which the kit never does";
    }
    NONCLIENTMETRICSW saved{};
    saved.cbSize = sizeof saved;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved, &saved, 0));
    struct Restore { // as they were, on every path (in Wine's registry, byte for byte)
        NONCLIENTMETRICSW& metrics;
        ~Restore() {
            ::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics,
                                    SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
        }
    } restore{saved};
    NoEvents events;
    Window window(kResultWindow, kResultControls, events);
    auto* hwnd = static_cast<HWND>(window.NativeHandle());
    ASSERT_NE(hwnd, nullptr);
    window.Show();
    window.SetText(11, L"Steam-Language set to tchinese");
    window.SetClientHeightTwips(2005); // as "Set Language" does
    RECT before{};
    ::GetClientRect(hwnd, &before);

    NONCLIENTMETRICSW bigger = saved;
    bigger.lfMessageFont.lfHeight *= 2;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof bigger, &bigger,
                                        SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));

    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_GT(client.right, before.right);
    EXPECT_GT(client.bottom, before.bottom);
    HWND button = ::GetDlgItem(hwnd, 10);
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HGDIOBJ>(::SendMessageW(button, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(font.lfHeight, bigger.lfMessageFont.lfHeight);
    SIZE ideal{};
    RECT buttonRect{};
    ::SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    ::GetClientRect(button, &buttonRect);
    EXPECT_LE(ideal.cx, buttonRect.right); // its caption fits
    RECT line{};
    ::GetWindowRect(::GetDlgItem(hwnd, 11), &line);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&line), 2);
    EXPECT_LE(line.bottom, client.bottom); // the result line shows whole
    RECT outer{};
    RECT onScreen{};
    const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::GetWindowRect(hwnd, &outer);
    ::IntersectRect(&onScreen, &outer, &screen);
    EXPECT_TRUE(::EqualRect(&onScreen, &outer));
}

// Windows asks for the size at a new DPI before it suggests a rectangle in WM_DPICHANGED: the
// answer is the size the window then takes, at a DPI whose font is not a linear step.
TEST(Window, TheSizeGivenForANewDpiIsTheSizeTaken) {
    NoEvents events;
    Window window(kResultWindow, kResultControls, events);
    auto* hwnd = static_cast<HWND>(window.NativeHandle());
    ASSERT_NE(hwnd, nullptr);
    window.SetText(11, L"Steam-Language set to tchinese");
    const SIZE before = OuterSizeOf(hwnd);
    for (const UINT dpi : {120u, 144u, 168u, 96u}) {
        SCOPED_TRACE(dpi);
        SIZE answer{};
        EXPECT_TRUE(
            ::SendMessageW(hwnd, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&answer)));
        if (dpi != 96) {
            EXPECT_GT(answer.cx, before.cx);
        }
        RECT suggested{0, 0, answer.cx, answer.cy};
        ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        const SIZE taken = OuterSizeOf(hwnd);
        EXPECT_EQ(taken.cx, answer.cx);
        EXPECT_EQ(taken.cy, answer.cy);
    }
}

// A window placed at the bottom of its screen's work area, then made taller as "Set Language"
// does and given a longer result line: it stays inside the work area.
TEST(Window, AWindowThatGrowsStaysOnItsScreen) {
    NoEvents events;
    Window window(kResultWindow, kResultControls, events);
    auto* hwnd = static_cast<HWND>(window.NativeHandle());
    ASSERT_NE(hwnd, nullptr);
    window.Show();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT work = monitor.rcWork;
    const SIZE size = OuterSizeOf(hwnd);
    ::SetWindowPos(hwnd, nullptr, work.left + 10, work.bottom - size.cy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    window.SetClientHeightTwips(2005);
    window.SetText(11, std::wstring(300, L'w') + L" Steam-Language set to tchinese");
    RECT outer{};
    ::GetWindowRect(hwnd, &outer);
    EXPECT_GT(outer.bottom - outer.top, size.cy);
    EXPECT_EQ(outer.bottom, work.bottom);
    EXPECT_EQ(outer.left, work.left + 10);
    window.Hide();
}

} // namespace
} // namespace platform
