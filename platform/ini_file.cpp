#include "ini_file.h"

#include "ansi.h"

#include <windows.h>

namespace platform {

unsigned long ReadIniString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fallback, std::span<char> buffer,
                            const std::wstring& file) {
    const std::string ansiSection = ToAnsi(section);
    const std::string ansiKey = ToAnsi(key);
    const std::string ansiFallback = ToAnsi(fallback);
    const std::string ansiFile = ToAnsi(file);
    return ::GetPrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiFallback.c_str(),
                                      buffer.data(), static_cast<DWORD>(buffer.size()),
                                      ansiFile.c_str());
}

bool WriteIniString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                    const std::wstring& file) {
    const std::string ansiSection = ToAnsi(section);
    const std::string ansiKey = ToAnsi(key);
    const std::string ansiValue = ToAnsi(value);
    const std::string ansiFile = ToAnsi(file);
    return ::WritePrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiValue.c_str(),
                                        ansiFile.c_str()) != FALSE;
}

} // namespace platform
