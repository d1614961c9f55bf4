// Where a top-level window stands on its screen. Included only by platform sources.
#pragma once

#include <windows.h>

namespace platform {

// Moves the window to the middle of its monitor.
void CentreOnScreen(HWND window);

// Moves a window that reaches past its monitor's work area back into it; where it is larger
// than the work area, its top left corner stays on screen.
void KeepOnScreen(HWND window);

} // namespace platform
