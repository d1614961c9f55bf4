// Ironvale: starts the game hl2.exe beside it, for the player or for an "ivl://" link.
#include "MainFrame.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ironvale::MainFrame mainFrame;
    mainFrame.Form_Load(); // ends the process
}
