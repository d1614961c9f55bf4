#include "error_text.h"

#include "win_owned.h"

namespace platform {

std::wstring ErrorText(ErrorCode errorCode) {
    OwnedLocal<wchar_t*> buffer; // the system allocates it
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer) {
        text.assign(buffer.get(), length);
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        // Digits by hand: the runtime's wide formatting would add more than all the rest.
        std::wstring digits;
        do {
            digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + errorCode % 10));
            errorCode /= 10;
        } while (errorCode != 0);
        text = L"Error " + digits + L".";
    }
    return text;
}

} // namespace platform
