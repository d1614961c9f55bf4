// What a program of ours does before anything else. First it makes Windows load DLLs from
// System32 only: a DLL lying beside the program (in a Downloads folder, or in a game folder that
// the user can write) is never loaded in place of a system DLL.
#pragma once

#include <memory>

namespace platform {

// Restricts the DLL search of the process to System32, for every load from now on, the
// dependencies of what is loaded included. The first statement of a program that shows at most
// a message box.
void RestrictDllSearch();

// The start-up of a program with windows: RestrictDllSearch, then the end with an error box
// titled failureBoxTitle for every failure that no handler takes (unhandled.h), then the common
// controls, loaded from System32, and a COM apartment for the thread. Make it as the first
// statement of the entry point and keep it until the program returns.
class Startup {
public:
    explicit Startup(const wchar_t* failureBoxTitle);
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    struct Services;

private:
    std::unique_ptr<Services> services_;
};

} // namespace platform
