// The logged-on user's account name through advapi32 GetUserNameA.
#pragma once

#include <string>

namespace platform {

// Calls GetUserNameA on the caller's buffer, with the buffer's whole length as the size; true
// when the call succeeded. Either way the buffer is left as the call leaves it.
bool FillUserName(std::string& buffer);

} // namespace platform
