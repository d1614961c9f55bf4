#include "choices.h"

#include <algorithm>

namespace tamsel {

std::vector<std::wstring_view>
ListedLanguages(const std::array<SettingsValue, kLanguages.size()>& values) {
    std::vector<std::wstring_view> listed;
    for (std::size_t row = 0; row < kLanguages.size(); ++row) {
        if (ValueEquals(values[row], 1)) {
            listed.push_back(kLanguages[row].listText);
        }
    }
    return listed;
}

SavePlanWrites SavePlan(const std::array<bool, kLanguages.size()>& checked) {
    SavePlanWrites writes{};
    std::size_t next = 0;
    for (const bool pass : {true, false}) {
        for (std::size_t row = 0; row < kLanguages.size(); ++row) {
            if (checked[row] == pass) {
                writes[next++] = {kLanguagesSection, kLanguages[row].iniKey, pass ? L"1" : L"0"};
            }
        }
    }
    writes[next] = {kSettingsSection, kFirstStartKey, L"0"};
    return writes;
}

platform::ErrorCode ReportedFailure(std::span<const platform::ErrorCode> errors) {
    const auto failed = std::find_if(errors.begin(), errors.end(), [](platform::ErrorCode error) {
        return error != platform::kDone;
    });
    return failed != errors.end() ? *failed : platform::kDone;
}

std::wstring SaveFailureMessage(std::wstring_view settingsPath, std::wstring_view reason) {
    std::wstring message = L"The settings could not be saved to\r\n";
    message.append(settingsPath).append(L"\r\n\r\n").append(reason);
    return message;
}

} // namespace tamsel
