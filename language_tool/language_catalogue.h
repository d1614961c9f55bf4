// The fifteen languages the tool knows, in the one order every place walks them.
#pragma once

#include <array>
#include <string_view>

namespace tamsel {

struct Language {
    std::wstring_view listText;  // entry of the main window's drop-down list
    std::wstring_view checkBox;  // name of the selection window's check box
    std::wstring_view caption;   // text beside that check box
    std::wstring_view iniKey;    // key in section "Languages" of config.ini
    std::wstring_view steamCode; // what Steam's language value receives
};

inline constexpr std::array<Language, 15> kLanguages{{
    {L"German", L"chk_German", L"German", L"German", L"german"},
    {L"English", L"chk_English", L"English", L"English", L"english"},
    {L"Korean(Adult)", L"chk_KoreanA", L"Korean (Adult)", L"KoreanA", L"koreana"},
    {L"Korean", L"chk_Korean", L"Korean", L"Korean", L"korean"},
    {L"Spanish", L"chk_Spanish", L"Spanish", L"Spanish", L"spanish"},
    {L"French", L"chk_French", L"French", L"French", L"french"},
    {L"Italian", L"chk_Italian", L"Italian", L"Italian", L"italian"},
    {L"Chinese(Simple)", L"chk_Chineses", L"Chinese (simple)", L"ChineseS", L"schinese"},
    {L"Chinese", L"chk_Chinese", L"Chinese", L"Chinese", L"tchinese"},
    {L"Russian", L"chk_Russian", L"Russian", L"Russian", L"russian"},
    {L"Thai", L"chk_Thai", L"Thai", L"Thai", L"thai"},
    {L"Japanese", L"chk_Japanese", L"Japanese", L"Japanese", L"japanese"},
    {L"Portuguese", L"chk_Portuguese", L"Portuguese", L"Portuguese", L"portuguese"},
    {L"Albanian", L"chk_Albanian", L"Albanian", L"Albanian", L"albanian"},
    {L"Turkish", L"chk_Turkish", L"Turkish", L"Turkish", L"turkish"},
}};

// The row whose list text equals the given text exactly (whole text, case-sensitive), or null.
const Language* FindByListText(std::wstring_view listText);

} // namespace tamsel
