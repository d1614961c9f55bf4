// The language tool's modules against the real INI functions, WScript.Shell and GetUserName.
#include "language_tool/Form1.h"
#include "language_tool/Module1.h"
#include "language_tool/Module2.h"
#include "platform/script_shell.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace tamsel {
namespace {

TEST(IniValues, MissingFileSectionOrKeyGivesTheFallback) {
    test::TempFolder folder;
    const std::wstring file = folder.File(L"config.ini");
    EXPECT_EQ(ReadIniValue(L"Settings", L"FirstStart", L"1", file), L"1");
    EXPECT_EQ(ReadIniValue(L"Languages", L"German", L"0", file), L"0");

    test::WriteBytes(file, "[Settings]\r\nOther=5\r\n");
    EXPECT_EQ(ReadIniValue(L"Settings", L"FirstStart", L"1", file), L"1");
    EXPECT_EQ(ReadIniValue(L"Languages", L"German", L"0", file), L"0");
}

TEST(IniValues, PresentButEmptyIsTheEmptyValueNotTheFallback) {
    test::TempFolder folder;
    const std::wstring file = folder.File(L"config.ini");
    test::WriteBytes(file, "[Settings]\r\nFirstStart=\r\n[Languages]\r\nGerman=  1 \r\n");
    EXPECT_EQ(ReadIniValue(L"Settings", L"FirstStart", L"1", file), std::nullopt);
    EXPECT_TRUE(ValueEquals(ReadIniValue(L"Languages", L"German", L"0", file), 1));
}

TEST(IniValues, LineBreaksSurviveThroughTheEscape) {
    test::TempFolder folder;
    const std::wstring file = folder.File(L"config.ini");
    WriteIniValue(L"Test", L"Text", L"a\r\nb", file);
    EXPECT_NE(test::ReadBytes(file).find("Text=a%crb"), std::string::npos);
    EXPECT_EQ(ReadIniValue(L"Test", L"Text", L"", file), L"a\r\nb");

    test::WriteBytes(file, "[Test]\r\nTyped=x%cry\r\nCapitals=x%CRy\r\n");
    EXPECT_EQ(ReadIniValue(L"Test", L"Typed", L"", file), L"x\r\ny");
    EXPECT_EQ(ReadIniValue(L"Test", L"Capitals", L"", file), L"x%CRy");
}

TEST(IniValues, WritesCreateAndReplaceAndLongValuesAreCut) {
    test::TempFolder folder;
    const std::wstring file = folder.File(L"config.ini");
    WriteIniValue(L"Languages", L"German", L"1", file);
    WriteIniValue(L"Languages", L"Thai", L"0", file);
    WriteIniValue(L"Languages", L"German", L"0", file);
    EXPECT_EQ(ReadIniValue(L"Languages", L"German", L"x", file), L"0");
    EXPECT_EQ(ReadIniValue(L"Languages", L"Thai", L"x", file), L"0");

    test::WriteBytes(file, "[Test]\r\nLong=" + std::string(2000, 'z') + "\r\n");
    EXPECT_EQ(ReadIniValue(L"Test", L"Long", L"", file), std::wstring(1023, L'z'));
}

TEST(IniValues, SettingsPathIsBesideTheProgram) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring expected(exe);
    expected.resize(expected.find_last_of(L'\\'));
    EXPECT_EQ(SettingsPath(), expected + L"\\config.ini");
}

// A registry key of the tests' own, removed around each test.
class SteamValue : public ::testing::Test {
protected:
    static constexpr wchar_t kKey[] = L"Software\\VantolineTests";
    static constexpr wchar_t kPath[] = L"HKEY_CURRENT_USER\\Software\\VantolineTests\\Language";
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

    static DWORD StoredType() {
        DWORD type = 0;
        ::RegGetValueW(HKEY_CURRENT_USER, kKey, L"Language", RRF_RT_ANY, &type, nullptr, nullptr);
        return type;
    }

    Form1 form_; // its registry operations need no window
};

TEST_F(SteamValue, WrittenCodeIsReadBackAsAString) {
    EXPECT_EQ(form_.RegRead(kPath), L""); // missing: "" and no message
    EXPECT_TRUE(form_.RegWrite(kPath, L"english", L"REG_SZ"));
    EXPECT_TRUE(form_.RegWrite(kPath, L"koreana", L"REG_SZ"));
    EXPECT_EQ(form_.RegRead(kPath), L"koreana");
    EXPECT_EQ(StoredType(), static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(form_.RegWrite(kPath, L"koreana", L"REG_SZ"));
    EXPECT_EQ(form_.RegRead(kPath), L"koreana");
}

TEST_F(SteamValue, FailuresBecomeFalseOrEmpty) {
    EXPECT_FALSE(form_.RegWrite(L"HKEY_NO_SUCH_ROOT\\Software\\X", L"x", L"REG_SZ"));
    EXPECT_FALSE(form_.RegWrite(kPath, L"x", L"REG_NO_SUCH_TYPE"));
    EXPECT_EQ(form_.RegRead(L"HKEY_NO_SUCH_ROOT\\Software\\X"), L"");

    // The object can't be created at all.
    EXPECT_FALSE(platform::ScriptShellRegWrite(L"No.Such.Object", kPath, L"x", L"REG_SZ"));
    EXPECT_FALSE(platform::ScriptShellRegRead(L"No.Such.Object", kPath).has_value());
    EXPECT_EQ(form_.RegRead(kPath), L""); // nothing was written by the failed calls
}

TEST_F(SteamValue, DataThatIsNoTextReadsAsEmpty) {
    const BYTE bytes[] = {1, 2, 3};
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"Language", 0, REG_BINARY, bytes, sizeof bytes);
    ::RegCloseKey(key);
    EXPECT_EQ(form_.RegRead(kPath), L"");
}

// An account's name may hold blanks ("Jane Doe"); none of the buffer's are left behind it.
TEST(UserName, IsTheAccountNameWithoutTerminatorOrBlanksBehind) {
    wchar_t expected[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(::GetUserNameW(expected, &size));
    const std::wstring name = GetLogonUserName();
    EXPECT_EQ(name, expected);
    EXPECT_TRUE(!name.empty() && name.back() != L' ' && name.back() != L'\0');
}

} // namespace
} // namespace tamsel
