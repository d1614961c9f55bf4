#include "placement.h"

#include <algorithm>

namespace platform {
namespace {

MONITORINFO MonitorOf(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor;
}

void MoveTo(HWND window, LONG left, LONG top) {
    ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void CentreOnScreen(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const RECT screen = MonitorOf(window).rcMonitor;
    MoveTo(window, screen.left + (screen.right - screen.left - (rect.right - rect.left)) / 2,
           screen.top + (screen.bottom - screen.top - (rect.bottom - rect.top)) / 2);
}

void KeepOnScreen(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const RECT work = MonitorOf(window).rcWork;
    const LONG left =
        std::max<LONG>(std::min<LONG>(rect.left, work.right - (rect.right - rect.left)), work.left);
    const LONG top =
        std::max<LONG>(std::min<LONG>(rect.top, work.bottom - (rect.bottom - rect.top)), work.top);
    if (left != rect.left || top != rect.top) {
        MoveTo(window, left, top);
    }
}

} // namespace platform
