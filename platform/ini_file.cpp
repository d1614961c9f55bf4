#include "ini_file.h"

#include "ansi.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace platform {

unsigned long ReadIniString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fallback, std::span<char> buffer,
                            const std::wstring& file) {
    const std::optional<std::string> ansiSection = ToAnsi(section);
    const std::optional<std::string> ansiKey = ToAnsi(key);
    const std::optional<std::string> ansiFallback = ToAnsi(fallback);
    const std::optional<std::string> ansiFile = ToAnsiPath(file);
    if (!ansiSection || !ansiKey || !ansiFallback || !ansiFile) {
        // Never another file whose name merely looks alike: as if the file were missing.
        if (buffer.empty()) {
            return 0;
        }
        // The fallback is placed whatever failed; ASCII is the same in every code page.
        std::string placed = ansiFallback.value_or(std::string());
        if (!ansiFallback &&
            std::all_of(fallback.begin(), fallback.end(), [](wchar_t c) { return c < 0x80; })) {
            std::transform(fallback.begin(), fallback.end(), std::back_inserter(placed),
                           [](wchar_t c) { return static_cast<char>(c); });
        }
        const std::size_t length = std::min(placed.size(), buffer.size() - 1);
        std::copy_n(placed.begin(), length, buffer.begin());
        buffer[length] = '\0';
        return static_cast<unsigned long>(length);
    }
    return ::GetPrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(), ansiFallback->c_str(),
                                      buffer.data(), static_cast<DWORD>(buffer.size()),
                                      ansiFile->c_str());
}

ErrorCode WriteIniString(const std::wstring& section, const std::wstring& key,
                         const std::wstring& value, const std::wstring& file) {
    const std::optional<std::string> ansiSection = ToAnsi(section);
    const std::optional<std::string> ansiKey = ToAnsi(key);
    const std::optional<std::string> ansiValue = ToAnsi(value);
    const std::optional<std::string> ansiFile = ToAnsiPath(file);
    if (!ansiSection || !ansiKey || !ansiValue || !ansiFile) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    ::SetLastError(ERROR_SUCCESS);
    if (::WritePrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(), ansiValue->c_str(),
                                     ansiFile->c_str()) != FALSE) {
        return kDone;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
}

} // namespace platform
