// The user's account name.
#pragma once

#include <string>

namespace tamsel {

// The account name the program runs under; 256 blanks when the lookup leaves nothing.
std::wstring GetLogonUserName();

} // namespace tamsel
