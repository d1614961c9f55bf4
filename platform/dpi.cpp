#include "dpi.h"

#include "win_owned.h"

namespace platform {
namespace {

template <typename F> F User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

UINT DpiOfDc(HWND window) {
    const WindowDc dc(window);
    const int dpi = dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

} // namespace

UINT DpiOfWindow(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn getDpiForWindow = User32Function<Fn>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0u;
    return dpi != 0 ? dpi : DpiOfDc(window);
}

UINT DpiOfPrimaryScreen() {
    using Fn = UINT(WINAPI*)();
    static const Fn getDpiForSystem = User32Function<Fn>("GetDpiForSystem");
    const UINT dpi = getDpiForSystem != nullptr ? getDpiForSystem() : 0u;
    return dpi != 0 ? dpi : DpiOfDc(nullptr);
}

int MetricForDpi(int index, UINT dpi) {
    using Fn = int(WINAPI*)(int, UINT);
    static const Fn getMetric = User32Function<Fn>("GetSystemMetricsForDpi");
    if (getMetric != nullptr) {
        return getMetric(index, dpi);
    }
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), 96);
}

RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rect{0, 0, width, height};
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const Fn adjust = User32Function<Fn>("AdjustWindowRectExForDpi");
    if (adjust == nullptr || !adjust(&rect, style, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return rect;
}

NONCLIENTMETRICSW NonClientMetricsForDpi(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using Fn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const Fn forDpi = User32Function<Fn>("SystemParametersInfoForDpi");
    if (forDpi != nullptr &&
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE) {
        return metrics;
    }
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const int systemDpi = static_cast<int>(DpiOfDc(nullptr));
    metrics.lfMessageFont.lfHeight =
        ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), systemDpi);
    return metrics;
}

} // namespace platform
