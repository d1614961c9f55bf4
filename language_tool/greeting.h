// The start-up decision and the greeting shown before any window.
#pragma once

#include "settings_value.h"

#include <string>
#include <string_view>

namespace tamsel {

// A start is a later start when "FirstStart" equals 0 (the empty value included).
bool IsFirstStart(const SettingsValue& firstStart);

// "Hello <name>," CR LF and the sentence for a first or a later start.
std::wstring Greeting(std::wstring_view userName, bool firstStart);

// The user-name buffer as GetUserNameA leaves it: cut before its first NUL, or whole when it
// holds none (a failed lookup leaves the blanks it was filled with).
std::wstring NameFromBuffer(std::wstring_view buffer);

} // namespace tamsel
