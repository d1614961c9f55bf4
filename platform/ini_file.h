// INI files through the 8-bit profile-string functions of kernel32.
#pragma once

#include <span>
#include <string>

namespace platform {

// GetPrivateProfileStringA into the caller's buffer (its whole size is passed as the size).
// Returns the number of characters placed before the terminator.
unsigned long ReadIniString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fallback, std::span<char> buffer,
                            const std::wstring& file);

// WritePrivateProfileStringA; creates the file, section and key as needed. The platform's
// result is returned for tests; the programs ignore it.
bool WriteIniString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                    const std::wstring& file);

} // namespace platform
