// Apart from startup.cpp, so that a program that calls only this imports nothing for COM.
#include "startup.h"

#include <windows.h>

namespace platform {

void RestrictDllSearch() {
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace platform
