// Module2: reading and writing config.ini, the tool's settings file.
#include "Module2.h"

#include "../platform/ansi.h"
#include "../platform/ini_file.h"
#include "../platform/process.h"

#include <algorithm>
#include <array>

namespace tamsel {

std::wstring SettingsPath() {
    // Without the program's folder there is no settings file: never "\config.ini" in the root
    // of whatever drive is current.
    const std::wstring folder = platform::ProgramFolder();
    return folder.empty() ? std::wstring() : folder + L"\\config.ini";
}

platform::ErrorCode WriteIniValue(std::wstring section, std::wstring key, std::wstring value,
                                  std::wstring file) {
    if (file.empty()) {
        return platform::kPathNotFound;
    }
    return platform::WriteIniString(section, key, EscapeLineBreaks(value), file);
}

SettingsValue ReadIniValue(std::wstring section, std::wstring key, std::wstring fallback,
                           std::wstring file) {
    if (file.empty()) { // as for a missing file
        return fallback.empty() ? SettingsValue() : SettingsValue(std::move(fallback));
    }
    std::array<char, 1024> buffer{};
    const unsigned long placed = platform::ReadIniString(section, key, fallback, buffer, file);
    if (placed == 0) {
        return std::nullopt;
    }
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.begin()));
    return UnescapeLineBreaks(platform::FromAnsi(text));
}

} // namespace tamsel
