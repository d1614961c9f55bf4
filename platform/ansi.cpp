#include "ansi.h"

#include <windows.h>

#include <vector>

namespace platform {

std::optional<std::string> ToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    // UTF-8 takes no best-fit flag (it has no look-alikes), but refuses unpaired surrogates.
    const DWORD flags = ::GetACP() == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int wideLength = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, result.data(), length,
                              nullptr, nullptr) != length) {
        return std::nullopt;
    }
    // A character without a form became the default character: the text does not come back.
    if (FromAnsi(result) != text) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return std::nullopt;
    }
    return result;
}

std::wstring FromAnsi(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int ansiLength = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, result.data(), length) !=
        length) {
        return {}; // never a text of NULs in place of one that could not be converted
    }
    return result;
}

std::optional<std::wstring> ShortPath(const std::wstring& path) {
    const DWORD size = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(size);
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer.data(), size);
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), length);
}

std::optional<std::string> ToAnsiPath(const std::wstring& path) {
    if (std::optional<std::string> exact = ToAnsi(path)) {
        return exact;
    }
    if (const std::optional<std::wstring> whole = ShortPath(path)) {
        if (std::optional<std::string> converted = ToAnsi(*whole)) {
            return converted;
        }
    }
    // A file that does not exist yet has no short form; its folder may.
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        if (const std::optional<std::wstring> folder = ShortPath(path.substr(0, slash))) {
            if (std::optional<std::string> converted = ToAnsi(*folder + path.substr(slash))) {
                return converted;
            }
        }
    }
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return std::nullopt;
}

} // namespace platform
