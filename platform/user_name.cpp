#include "user_name.h"

#include <windows.h>

namespace platform {

bool FillUserName(std::string& buffer) {
    DWORD size = static_cast<DWORD>(buffer.size());
    return ::GetUserNameA(buffer.data(), &size) != FALSE;
}

} // namespace platform
