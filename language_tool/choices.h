// What the tool decides from the catalogue and its settings, as plain functions over values:
// which languages the main window lists, and what a save of the selection writes and reports.
// The windows only carry the decisions out.
#pragma once

#include "language_catalogue.h"
#include "settings_value.h"

#include "../platform/error_code.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// The title of every box the tool shows.
inline constexpr wchar_t kBoxTitle[] = L"Mirelak";

inline constexpr wchar_t kLanguagesSection[] = L"Languages";
inline constexpr wchar_t kSettingsSection[] = L"Settings";
inline constexpr wchar_t kFirstStartKey[] = L"FirstStart";

// The list texts of the rows whose value in section "Languages" equals 1, in catalogue order;
// values[i] is what the key of row i read (with "0" where it is missing).
std::vector<std::wstring_view>
ListedLanguages(const std::array<SettingsValue, kLanguages.size()>& values);

struct SettingsWrite {
    std::wstring_view section;
    std::wstring_view key;
    std::wstring_view value;

    bool operator==(const SettingsWrite&) const = default;
};

// What "Save!" writes, in this order: "1" under the key of every checked row, then "0" under
// the key of every cleared one, each pass in catalogue order; "0" under "FirstStart" last.
inline constexpr std::size_t kSaveWriteCount = kLanguages.size() + 1;
using SavePlanWrites = std::array<SettingsWrite, kSaveWriteCount>;
SavePlanWrites SavePlan(const std::array<bool, kLanguages.size()>& checked);

// The failure a save reports, once, after its last write: the first error code of the writes,
// in their order, that is not kDone; kDone when every write was stored.
platform::ErrorCode ReportedFailure(std::span<const platform::ErrorCode> errors);

// What the box says after a failed save: the file and the system's reason.
std::wstring SaveFailureMessage(std::wstring_view settingsPath, std::wstring_view reason);

} // namespace tamsel
