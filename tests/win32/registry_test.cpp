// The starter's registry module against the real registry: byte counts, types, the read
// buffer's limit, and the URL protocol registration.
#include "game_starter/Registry.h"
#include "platform/ansi.h"
#include "platform/process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

namespace ironvale {
namespace {

// A key of our own below HKEY_CURRENT_USER, removed with everything below it at the end.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

    std::wstring Key() const { return platform::FromAnsi(key_); }

    // Writes a value the way another program might, with exactly this type and data.
    void PutRaw(const char* name, DWORD type, const std::string& data) {
        ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, key_.c_str(), name, type, data.data(),
                                    static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    struct Raw {
        DWORD type = 0;
        std::string data;
    };
    // Type and data as RegQueryValueExA returns them, with the byte count it reports.
    Raw QueryRaw(const std::string& subKey, const char* name) {
        HKEY key = nullptr;
        Raw raw;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            raw.type = REG_NONE;
            return raw;
        }
        raw.data.resize(4096);
        DWORD size = static_cast<DWORD>(raw.data.size());
        if (::RegQueryValueExA(key, name, nullptr, &raw.type,
                               reinterpret_cast<BYTE*>(raw.data.data()), &size) != ERROR_SUCCESS) {
            size = 0;
            raw.type = REG_NONE;
        }
        raw.data.resize(size);
        ::RegCloseKey(key);
        return raw;
    }

    std::wstring Get(const wchar_t* name) {
        return GetValueAsString(platform::SystemRegistry(), RootKey::CurrentUser, Key(), name);
    }

    const std::string key_ =
        "Software\\VantolineTest\\Registry-" + std::to_string(::GetCurrentProcessId());
};

// A REG_SZ value as it is stored from an 8-bit text written with a byte count that leaves out
// the NUL: RegSetValueExA adds the NUL that follows the counted bytes, as Windows NT does.
std::string Stored(const std::string& text) {
    return text + '\0';
}

TEST_F(RegistryTest, SetStringValueStoresTheCodePageText) {
    auto& store = platform::SystemRegistry();
    struct Case {
        const wchar_t* text;
        std::string stored;
    };
    const Case cases[] = {
        {L"", Stored(" ")},
        {L" ", Stored(" ")},
        {L"abc", Stored("abc")},
        {L"\"C:\\Iron Vale\\Ironvale.exe\" \"%1\"",
         Stored("\"C:\\Iron Vale\\Ironvale.exe\" \"%1\"")},
        {L"Caf\u00e9", Stored(platform::ToAnsi(L"Caf\u00e9").value())}, // the code page's bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        ASSERT_TRUE(SetStringValue(store, RootKey::CurrentUser, Key() + L"\\a\\b", L"v", c.text));
        const Raw raw = QueryRaw(key_ + "\\a\\b", "v");
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(raw.data, c.stored);
    }
    EXPECT_EQ(GetValueAsString(store, RootKey::CurrentUser, Key() + L"\\a\\b", L"v"), L"Caf\u00e9");

    // With the NUL that is added, 1023 characters fill the read buffer; 1024 don't fit.
    const std::wstring fits(1023, L'q');
    const std::wstring tooLong(1024, L'q');
    ASSERT_TRUE(SetStringValue(store, RootKey::CurrentUser, Key(), L"fits", fits));
    ASSERT_TRUE(SetStringValue(store, RootKey::CurrentUser, Key(), L"tooLong", tooLong));
    EXPECT_EQ(Get(L"fits"), fits);
    EXPECT_EQ(Get(L"tooLong"), L"");
}

TEST_F(RegistryTest, SetStringValueReplacesOnlyTheNamedValue) {
    auto& store = platform::SystemRegistry();
    PutRaw("other", REG_DWORD, std::string("\x07\0\0\0", 4));
    EXPECT_TRUE(SetStringValue(store, RootKey::CurrentUser, Key(), L"", L"first"));
    EXPECT_TRUE(SetStringValue(store, RootKey::CurrentUser, Key(), L"", L"second"));
    EXPECT_EQ(QueryRaw(key_, "").data, Stored("second"));
    EXPECT_EQ(QueryRaw(key_, "other").data, std::string("\x07\0\0\0", 4));
}

TEST_F(RegistryTest, SetStringValueIsFalseWhereTheKeyCannotBeCreated) {
    // A lasting key can't be made below a volatile one.
    HKEY volatileKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + "\\volatile").c_str(), 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(volatileKey);
    EXPECT_FALSE(SetStringValue(platform::SystemRegistry(), RootKey::CurrentUser,
                                Key() + L"\\volatile\\child", L"v", L"x"));
    EXPECT_EQ(QueryRaw(key_ + "\\volatile\\child", "v").type, static_cast<DWORD>(REG_NONE));
}

TEST_F(RegistryTest, GetValueAsStringByTypeAndSize) {
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        std::wstring text;
    };
    const Case cases[] = {
        {"1023 and NUL", REG_SZ, std::string(1023, 'q') + '\0', std::wstring(1023, L'q')},
        {"1024 and NUL", REG_SZ, std::string(1024, 'q') + '\0', L""},
        {"2000", REG_SZ, std::string(2000, 'q'), L""},
        {"embedded NUL", REG_SZ, std::string("ab\0cd\0", 6), L"ab"},
        {"dword", REG_DWORD, std::string("\x0A\x01\0\0", 4), L"266"},
        {"dword top bit", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4), L"4294967295"},
        {"expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15), L"%SystemRoot%\\x"},
        {"binary", REG_BINARY, "abc", L""},
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), L""},
    };
    for (const Case& c : cases) {
        PutRaw(c.name, c.type, c.data);
    }
    for (const Case& c : cases) {
        EXPECT_EQ(Get(platform::FromAnsi(c.name).c_str()), c.text) << c.name;
    }
    EXPECT_EQ(Get(L"missing"), L"");
    EXPECT_EQ(GetValueAsString(platform::SystemRegistry(), RootKey::CurrentUser,
                               Key() + L"\\missing", L""),
              L"");
}

// Keys (with their class) and values below a key, as one comparable picture.
using Tree = std::map<std::string, std::string>;

void Snapshot(HKEY parent, const std::string& path, const std::string& name, Tree& tree) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    char keyClass[256] = {};
    DWORD classLength = sizeof keyClass;
    ::RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr);
    tree[path] = std::string("class ") + keyClass;
    for (DWORD i = 0;; ++i) {
        char valueName[256] = {};
        DWORD nameLength = sizeof valueName;
        DWORD type = 0;
        BYTE data[2048] = {};
        DWORD size = sizeof data;
        if (::RegEnumValueA(key, i, valueName, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        tree[path + "[" + valueName + "]"] =
            std::to_string(type) + " " + std::string(reinterpret_cast<char*>(data), size);
    }
    for (DWORD i = 0;; ++i) {
        char child[256] = {};
        DWORD childLength = sizeof child;
        if (::RegEnumKeyExA(key, i, child, &childLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        Snapshot(key, path + "\\" + child, child, tree);
    }
    ::RegCloseKey(key);
}

std::string HttpSourceFilter() {
    char data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueA(HKEY_CLASSES_ROOT, "http", "Source Filter", RRF_RT_REG_SZ, nullptr, data,
                       &size) != ERROR_SUCCESS ||
        data[0] == '\0') {
        return " ";
    }
    return data;
}

TEST(UrlProtocolRegistration, WritesTheLayoutAndTwiceIsLikeOnce) {
    const std::string scheme = "ivltest" + std::to_string(::GetCurrentProcessId());
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
    const std::wstring wideScheme = platform::FromAnsi(scheme);
    const std::string path = "C:\\Iron Vale\\Ironvale.exe";
    auto& store = platform::SystemRegistry();

    RegisterUrlProtocol(store, wideScheme, platform::FromAnsi(path), {L"unused", L"unused"});
    Tree once;
    Snapshot(HKEY_CLASSES_ROOT, scheme, scheme, once);
    const Tree expected = {
        {scheme, "class 1"},
        {scheme + "[Source Filter]", "1 " + Stored(HttpSourceFilter())},
        {scheme + "[Url Protocol]", "1 " + Stored(" ")},
        {scheme + "\\DefaultIcon", "class 1"},
        {scheme + "\\DefaultIcon[]", "1 " + Stored(path + ",0")},
        {scheme + "\\shell", "class 1"},
        {scheme + "\\shell\\open", "class 1"},
        {scheme + "\\shell\\open\\command", "class 1"},
        {scheme + "\\shell\\open\\command[]", "1 " + Stored("\"" + path + "\" \"%1\"")},
    };
    EXPECT_EQ(once, expected);

    RegisterUrlProtocol(store, wideScheme, platform::FromAnsi(path), {L"unused", L"unused"});
    Tree twice;
    Snapshot(HKEY_CLASSES_ROOT, scheme, scheme, twice);
    EXPECT_EQ(twice, once);

    // No path: the running program, under its own folder and name with ".exe".
    RegisterUrlProtocol(store, wideScheme, L"", {platform::ProgramFolder(), L"Renamed"});
    const std::string self = platform::ToAnsi(platform::ProgramFolder()).value() + "\\Renamed.exe";
    Tree moved;
    Snapshot(HKEY_CLASSES_ROOT, scheme, scheme, moved);
    EXPECT_EQ(moved[scheme + "\\DefaultIcon[]"], "1 " + Stored(self + ",0"));
    EXPECT_EQ(moved[scheme + "\\shell\\open\\command[]"], "1 " + Stored("\"" + self + "\" \"%1\""));

    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
}

// This test program declares no UTF-8 code page, so a legacy one is active, as on Windows
// before 1903: a path without an exact 8-bit form is written in its short form, which names
// the same file, or where it has none, nothing is registered at all.
TEST(UrlProtocolRegistration, PathWithoutAnExactFormIsShortOrNothing) {
    if (::GetACP() == CP_UTF8) {
        GTEST_SKIP() << "every path has an exact form in UTF-8";
    }
    test::TempFolder temp;
    auto& store = platform::SystemRegistry();
    ASSERT_TRUE(std::filesystem::create_directory(temp.path() / L"\uff27ames \u6e38\u620f"));
    const std::wstring file = temp.File(L"\uff27ames \u6e38\u620f\\Ironvale.exe");
    test::WriteBytes(file, "MZ");
    if (test::HasShortName(temp.path() / L"\uff27ames \u6e38\u620f")) {
        const std::wstring stored = store.StorablePath(file).value_or(L"");
        wchar_t named[MAX_PATH] = {};
        ASSERT_NE(::GetLongPathNameW(stored.c_str(), named, MAX_PATH), 0u);
        EXPECT_EQ(named, file); // the same file, never a look-alike such as "Games"
        EXPECT_TRUE(platform::ToAnsi(stored));
    } else { // a drive that makes no short names
        EXPECT_EQ(store.StorablePath(file), std::nullopt);
    }
    const std::wstring scheme = L"ivltest" + std::to_wstring(::GetCurrentProcessId());
    RegisterUrlProtocol(store, scheme, temp.File(L"\uff27one\\Ironvale.exe"), {L"", L""});
    EXPECT_EQ(::RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str()), ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace ironvale
