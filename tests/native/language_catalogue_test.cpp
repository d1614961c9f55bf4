#include "language_tool/language_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tamsel {
namespace {

TEST(LanguageCatalogue, FindsOnlyExactListTexts) {
    struct Case {
        const wchar_t* text;
        const wchar_t* steamCode; // null: no row
    };
    const Case cases[] = {
        {L"Korean(Adult)", L"koreana"},
        {L"Korean", L"korean"},
        {L"Chinese(Simple)", L"schinese"},
        {L"Chinese", L"tchinese"},
        {L"German", L"german"},
        {L"Turkish", L"turkish"},
        {L"Korean (Adult)", nullptr},
        {L"Chinese (simple)", nullptr},
        {L"korean", nullptr},
        {L"German ", nullptr},
        {L"", nullptr},
        {L"KoreanA", nullptr},
    };
    for (const Case& c : cases) {
        const Language* row = FindByListText(c.text);
        if (c.steamCode == nullptr) {
            EXPECT_EQ(row, nullptr) << std::wstring(c.text).size();
        } else {
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(row->steamCode, c.steamCode);
        }
    }
}

TEST(LanguageCatalogue, EveryColumnIsUnique) {
    std::set<std::wstring_view> lists, boxes, keys, codes;
    for (const Language& row : kLanguages) {
        lists.insert(row.listText);
        boxes.insert(row.checkBox);
        keys.insert(row.iniKey);
        codes.insert(row.steamCode);
        EXPECT_EQ(row.checkBox.substr(0, 4), L"chk_");
    }
    EXPECT_EQ(lists.size(), kLanguages.size());
    EXPECT_EQ(boxes.size(), kLanguages.size());
    EXPECT_EQ(keys.size(), kLanguages.size());
    EXPECT_EQ(codes.size(), kLanguages.size());
}

} // namespace
} // namespace tamsel
