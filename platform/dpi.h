// DPI services of user32 that newer Windows versions offer, with fallbacks for older ones.
// Included only by platform sources.
#pragma once

#include <windows.h>

namespace platform {

UINT DpiOfWindow(HWND window);
UINT DpiOfPrimaryScreen();
int MetricForDpi(int index, UINT dpi);
RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);
NONCLIENTMETRICSW NonClientMetricsForDpi(UINT dpi);

inline int TwipsToPixels(int twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

} // namespace platform
