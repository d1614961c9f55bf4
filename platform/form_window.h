// What the message loop needs to know of the forms' windows. Included only by platform sources.
#pragma once

#include <windows.h>

namespace platform {

// Whether a top-level window is one of the forms' windows (defined in window.cpp).
bool IsFormWindow(HWND window);

} // namespace platform
