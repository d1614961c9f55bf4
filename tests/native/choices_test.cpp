#include "language_tool/choices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamsel {
namespace {

TEST(ListedLanguages, TheRowsWhoseValueEqualsOneInCatalogueOrder) {
    std::array<SettingsValue, 15> values;
    values.fill(L"0");
    EXPECT_TRUE(ListedLanguages(values).empty());
    values[0] = L"1";         // German
    values[2] = L"01";        // Korean(Adult): the test is numeric
    values[3] = L"2";         // Korean: present but not 1
    values[4] = std::nullopt; // Spanish: present with an empty value counts as 0
    values[5] = L"yes";       // French: no number, never listed
    values[10] = L" 1 ";      // Thai
    values[14] = L"1";        // Turkish
    EXPECT_EQ(ListedLanguages(values),
              (std::vector<std::wstring_view>{L"German", L"Korean(Adult)", L"Thai", L"Turkish"}));
    values.fill(L"1");
    const std::vector<std::wstring_view> all = ListedLanguages(values);
    ASSERT_EQ(all.size(), 15u);
    EXPECT_EQ(all[7], L"Chinese(Simple)"); // catalogue order, not alphabetical
    EXPECT_EQ(all[14], L"Turkish");
}

// The whole plan as one text, a line per write: "section key value".
std::wstring Written(const SavePlanWrites& plan) {
    std::wstring text;
    for (const SettingsWrite& write : plan) {
        text.append(write.section).append(L" ").append(write.key).append(L" ");
        text.append(write.value).append(L"\n");
    }
    return text;
}

TEST(SavePlan, OnesFirstThenZerosThenFirstStart) {
    std::array<bool, 15> checked{};
    checked[0] = checked[14] = true; // German and Turkish
    EXPECT_EQ(Written(SavePlan(checked)),
              L"Languages German 1\nLanguages Turkish 1\nLanguages English 0\n"
              L"Languages KoreanA 0\nLanguages Korean 0\nLanguages Spanish 0\nLanguages French 0\n"
              L"Languages Italian 0\nLanguages ChineseS 0\nLanguages Chinese 0\n"
              L"Languages Russian 0\nLanguages Thai 0\nLanguages Japanese 0\n"
              L"Languages Portuguese 0\nLanguages Albanian 0\nSettings FirstStart 0\n");
    for (const bool all : {false, true}) {
        checked.fill(all);
        const SavePlanWrites plan = SavePlan(checked);
        EXPECT_EQ(plan[7], (SettingsWrite{L"Languages", L"ChineseS", all ? L"1" : L"0"}));
        EXPECT_EQ(plan.back(), (SettingsWrite{L"Settings", L"FirstStart", L"0"}));
    }
}

TEST(SavePlan, ReportsTheFirstFailureOnly) {
    const std::pair<std::vector<platform::ErrorCode>, platform::ErrorCode> cases[] = {
        {{0, 0, 0}, 0},
        {{0, 5, 0, 112}, 5},
        {{0, 0, 1113}, 1113}, // the write of "FirstStart" counts too
        {{}, 0},
    };
    for (const auto& [errors, reported] : cases) {
        EXPECT_EQ(ReportedFailure(errors), reported);
    }
    EXPECT_EQ(SaveFailureMessage(L"C:\\T\\config.ini", L"Access is denied."),
              L"The settings could not be saved to\r\nC:\\T\\config.ini\r\n\r\nAccess is denied.");
}

} // namespace
} // namespace tamsel
