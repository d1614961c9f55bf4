// The entry point Windows calls in a GUI program, declared here so that the programs' own code
// needs no <windows.h>. Each program defines it; its first statement is the start-up of
// startup.h.
#pragma once

struct HINSTANCE__;

extern "C" int __stdcall wWinMain(HINSTANCE__* instance, HINSTANCE__* previous,
                                  wchar_t* commandLine, int show);
