#include "startup.h"

#include "unhandled.h"
#include "win_owned.h"

#include <commctrl.h>

namespace platform {
namespace {

// comctl32 is no Known DLL, so it is loaded at run time, after the search is restricted, rather
// than imported: its own imports would be resolved from the program's folder before any code of
// ours ran. The manifest's activation context still picks version 6.
OwnedModule LoadCommonControls() {
    OwnedModule comctl32(::LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!comctl32) {
        return comctl32;
    }
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<Init>(
        reinterpret_cast<void*>(::GetProcAddress(comctl32.get(), "InitCommonControlsEx")));
    if (init != nullptr) {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        init(&controls);
    }
    return comctl32;
}

} // namespace

// Made in this order and undone the other way round: COM is left before comctl32 goes.
struct Startup::Services {
    OwnedModule commonControls = LoadCommonControls();
    ComApartment apartment;
};

Startup::Startup(const wchar_t* failureBoxTitle) {
    RestrictDllSearch(); // before anything else loads a DLL
    EndWithBoxOnUnhandledFailure(failureBoxTitle);
    services_ = std::make_unique<Services>();
}

Startup::~Startup() = default;

} // namespace platform
