// Programs that run already: a named mutex that one holds, and a window of a given program.
#pragma once

#include <string>

namespace platform {

// Whether some program holds (or has made) the named mutex. One kernel32 call; false where the
// mutex can't be opened for any reason.
bool NamedMutexExists(const std::wstring& name);

// The program file that a process (a process handle) runs, or that the process of a window
// runs; empty where that can't be told.
std::wstring ProgramOf(void* process);
std::wstring ProgramOfWindow(void* window);

// Whether both paths name one file, however each spells it (a short 8.3 name, other capitals):
// told by the file's identity, its volume and its index there. False where either can't be
// opened.
bool SameFile(const std::wstring& a, const std::wstring& b);

// A top-level window of this class whose process runs the program file at programPath (the
// same file, as SameFile tells). Null where there is none, or where it can't be told (a process
// that may not be asked, a file that can't be opened).
void* FindWindowOfProgram(const std::wstring& className, const std::wstring& programPath);

// Brings the window to the front, restored where it is minimized.
void BringToFront(void* window);

} // namespace platform
