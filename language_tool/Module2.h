// config.ini: the only way in and out of the tool's settings file.
#pragma once

#include "settings_value.h"

#include "../platform/error_code.h"

#include <string>

namespace tamsel {

// The settings file: the program's folder and "\config.ini", built anew for every use; empty
// where the system can't tell the program's folder (writes then fail, reads give the fallback).
std::wstring SettingsPath();

// Stores value under key in section of file; line breaks are kept through the "%cr" escape.
// Returns 0 when the value was stored, else the system's error code.
platform::ErrorCode WriteIniValue(std::wstring section, std::wstring key, std::wstring value,
                                  std::wstring file);

// The value under key in section of file, the fallback where the file, section or key is
// missing, or the empty value where the stored text is empty. At most 1023 characters.
SettingsValue ReadIniValue(std::wstring section, std::wstring key, std::wstring fallback,
                           std::wstring file);

} // namespace tamsel
