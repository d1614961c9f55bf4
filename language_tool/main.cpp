// tamsel: picks the language Steam uses, from the languages the player enabled.
#include "Form1.h"
#include "Form2.h"

#include "../platform/window.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 0;
    {
        tamsel::Form1 mainWindow;
        tamsel::Form2 startWindow(mainWindow);
        startWindow.Start();
        exitCode = platform::RunMessageLoop();
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return exitCode;
}
