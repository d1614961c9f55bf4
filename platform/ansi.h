// Conversions between the programs' wide texts and the system's 8-bit code page, for the
// 8-bit ("A") platform functions.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);

} // namespace platform
