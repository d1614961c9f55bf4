// tamsel: picks the language Steam uses, from the languages the player enabled.
#include "Form1.h"
#include "Form2.h"
#include "choices.h"

#include "../platform/entry_point.h"
#include "../platform/startup.h"
#include "../platform/window.h"

int __stdcall wWinMain(HINSTANCE__*, HINSTANCE__*, wchar_t*, int) {
    const platform::Startup startup(tamsel::kBoxTitle);
    tamsel::Form1 mainWindow;
    tamsel::Form2 startWindow(mainWindow);
    startWindow.Start();
    return platform::RunMessageLoop();
}
