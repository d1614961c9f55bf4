// INI files through the 8-bit profile-string functions of kernel32.
#pragma once

#include "error_code.h"

#include <span>
#include <string>

namespace platform {

// GetPrivateProfileStringA into the caller's buffer (its whole size is passed as the size).
// Returns the number of characters placed before the terminator. A name or path that has no
// form in the 8-bit code page reads as a missing file: the fallback is placed.
unsigned long ReadIniString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fallback, std::span<char> buffer,
                            const std::wstring& file);

// WritePrivateProfileStringA; creates the file, section and key as needed. kDone when the value
// was stored, else the system's error code.
ErrorCode WriteIniString(const std::wstring& section, const std::wstring& key,
                         const std::wstring& value, const std::wstring& file);

} // namespace platform
