#include "user_name.h"

#include <windows.h>

namespace platform {

void FillUserName(std::string& buffer) {
    DWORD size = static_cast<DWORD>(buffer.size());
    ::GetUserNameA(buffer.data(), &size);
}

} // namespace platform
