// Ironvale: starts the game hl2.exe beside it, for the player or for an "ivl://" link.
#include "MainFrame.h"

#include "../platform/entry_point.h"
#include "../platform/startup.h"
#include "../platform/unhandled.h"

int __stdcall wWinMain(HINSTANCE__*, HINSTANCE__*, wchar_t*, int) {
    platform::RestrictDllSearch();
    platform::EndSilentlyWhenMemoryOrDllFails();
    ironvale::MainFrame mainFrame;
    mainFrame.Form_Load(); // ends the process
}
