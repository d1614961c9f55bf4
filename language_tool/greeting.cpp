#include "greeting.h"

namespace tamsel {

bool IsFirstStart(const SettingsValue& firstStart) {
    return !ValueEquals(firstStart, 0);
}

std::wstring Greeting(std::wstring_view userName, bool firstStart) {
    std::wstring text = L"Hello ";
    text.append(userName);
    text.append(L",\r\n");
    text.append(firstStart ? L"Please choose the languages you want to implement in the Vantoline!"
                           : L"Please choose the language you want to use in Ironvale");
    return text;
}

std::wstring NameFromBuffer(std::wstring_view buffer) {
    return std::wstring(buffer.substr(0, buffer.find(L'\0')));
}

} // namespace tamsel
