// The 8-bit conversions under a legacy code page: this test program declares no UTF-8 code page,
// so it runs under the system's (1252 here), as the programs do on Windows before 1903.
#include "platform/ansi.h"
#include "platform/ini_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <array>

namespace {

TEST(AnsiConversion, IsExactOrNothingNeverALookAlike) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the cases are those of code page 1252; this system's is " << ::GetACP();
    }
    EXPECT_EQ(platform::ToAnsi(L"Caf\u00e9"), std::string("Caf\xe9"));
    EXPECT_EQ(platform::ToAnsi(L""), std::string());
    for (const wchar_t* text : {L"\uff27ames", L"\u0141\u00f3d\u017a", L"\u6e38", L"a\xd800z"}) {
        EXPECT_EQ(platform::ToAnsi(text), std::nullopt) << static_cast<int>(text[0]);
    }
}

TEST(AnsiConversion, APathWithoutAnExactFormGoesThroughItsShortForm) {
    test::TempFolder temp;
    const std::filesystem::path folder = temp.path() / L"\uff27ames \u0141\u00f3d\u017a";
    std::filesystem::create_directory(folder);
    const std::wstring file = (folder / L"config.ini").wstring();
    if (!test::HasShortName(folder)) {
        // A drive that makes no short names: no 8-bit form, and nothing is written.
        EXPECT_EQ(platform::ToAnsiPath(file), std::nullopt);
        EXPECT_EQ(platform::WriteIniString(L"Settings", L"FirstStart", L"0", file),
                  static_cast<std::uint32_t>(ERROR_NO_UNICODE_TRANSLATION));
        EXPECT_FALSE(std::filesystem::exists(file));
        return;
    }

    // The file does not exist yet: its folder's short form, then the exact file name.
    const std::optional<std::string> path = platform::ToAnsiPath(file);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->find("Games"), std::string::npos);
    EXPECT_EQ(path->substr(path->size() - 11), "\\config.ini");

    // Written and read back through it, the value lands in that very folder.
    EXPECT_EQ(platform::WriteIniString(L"Settings", L"FirstStart", L"0", file), 0u);
    EXPECT_NE(test::ReadBytes(file).find("FirstStart=0"), std::string::npos);
    std::array<char, 16> buffer{};
    EXPECT_EQ(platform::ReadIniString(L"Settings", L"FirstStart", L"1", buffer, file), 1u);
    EXPECT_EQ(std::string(buffer.data()), "0");
    // Now that it exists, the file has a short form of its own.
    EXPECT_TRUE(platform::ToAnsiPath(file).has_value());
}

TEST(AnsiConversion, ANameWithoutAnyFormIsNeitherReadNorWritten) {
    test::TempFolder temp;
    const std::wstring file = temp.File(L"config.ini");
    EXPECT_EQ(platform::WriteIniString(L"\uff27", L"Key", L"1", file),
              static_cast<std::uint32_t>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_FALSE(std::filesystem::exists(file));
    std::array<char, 16> buffer{};
    EXPECT_EQ(platform::ReadIniString(L"G", L"\uff27", L"fallback", buffer, file), 8u);
    EXPECT_EQ(std::string(buffer.data()), "fallback");
}

} // namespace
