// The logged-on user's account name through advapi32 GetUserNameA.
#pragma once

#include <string>

namespace platform {

// Calls GetUserNameA on the caller's buffer, with the buffer's whole length as the size. The
// buffer is left as the call leaves it; nothing is checked.
void FillUserName(std::string& buffer);

} // namespace platform
