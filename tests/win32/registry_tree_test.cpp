// The registry trees that the checks and the kit's runner save and put back: every value's
// type and bytes as stored, every key below, or the absence of them all.
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

extern "C" NTSYSAPI LONG NTAPI NtDeleteKey(HANDLE key); // an NTSTATUS

namespace {

using test::RegistryTree;

template <typename T> std::vector<BYTE> Bytes(const T& data, std::size_t size = sizeof(T)) {
    const auto* first = reinterpret_cast<const BYTE*>(&data);
    return std::vector<BYTE>(first, first + size);
}

// Sorted by name, as a read gives them.
RegistryTree Sample() {
    const BYTE odd[] = {0x00, 0x01, 0xfe, 0xff, 0x7f};
    RegistryTree below;
    below.values = {{L"", REG_SZ, Bytes(L"\"C:\\Other\\other.exe\" \"%1\"")}};
    RegistryTree shell;
    shell.keys = {{L"open", RegistryTree{{}, {{L"command", below}}}}};
    RegistryTree tree;
    tree.values = {{L"", REG_SZ, Bytes(L"abc", 6)}, // stored without its NUL
                   {L"Blob", REG_BINARY, Bytes(odd)},
                   {L"Empty", REG_BINARY, {}},
                   {L"Flags", REG_DWORD, Bytes(DWORD{0x00210000})},
                   {L"Large", REG_BINARY, std::vector<BYTE>(10000, 0x5a)}, // beyond a first read
                   {L"Paths", REG_MULTI_SZ, Bytes(L"C:\\a\0C:\\b\0")},
                   {L"Q", REG_QWORD, Bytes(0x0807060504030201ULL)},
                   {L"Strange type", 0x12345, Bytes(odd, 3)},
                   {L"\u0141\u00f3d\u017a", REG_EXPAND_SZ, Bytes(L"%TEMP%\\x")}};
    tree.keys = {{L"DefaultIcon", RegistryTree{}}, {L"shell", shell}};
    return tree;
}

class RegistryTreeTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

    const std::wstring path_ =
        L"Software\\VantolineTest\\Tree-" + std::to_wstring(::GetCurrentProcessId());
};

TEST_F(RegistryTreeTest, ReadsBackEveryKeyValueTypeAndByteAsWritten) {
    const RegistryTree sample = Sample();
    ASSERT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, sample), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), sample);

    // Its values only: the keys below are not read.
    RegistryTree valuesOnly = sample;
    valuesOnly.keys.clear();
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_, false), valuesOnly);

    // Written in another order, the same contents read the same.
    RegistryTree reversed = sample;
    std::ranges::reverse(reversed.values);
    std::ranges::reverse(reversed.keys);
    ASSERT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, reversed), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), sample);
}

TEST_F(RegistryTreeTest, WritingLeavesNothingOfWhatWasThereAndNothingRemovesTheKey) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (path_ + L"\\Old\\Deep").c_str(), L"Old", REG_SZ,
                                L"x", 4),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, path_.c_str(), L"Blob", REG_SZ, L"x", 4),
              ERROR_SUCCESS);
    ASSERT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, Sample()), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), Sample());

    EXPECT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, std::nullopt), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), std::nullopt);
    EXPECT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, std::nullopt), ERROR_SUCCESS);
}

TEST_F(RegistryTreeTest, SavedTreeIsPutBackOrRemovedAgain) {
    ASSERT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, Sample()), ERROR_SUCCESS);
    {
        const test::SavedRegistryTree saved(HKEY_CURRENT_USER, path_);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, path_.c_str(), L"Blob");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (path_ + L"\\shell").c_str());
        ::RegSetKeyValueW(HKEY_CURRENT_USER, (path_ + L"\\New").c_str(), L"", REG_SZ, L"x", 4);
    }
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), Sample());

    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    {
        const test::SavedRegistryTree saved(HKEY_CURRENT_USER, path_);
        test::WriteRegistryTree(HKEY_CURRENT_USER, path_, Sample());
    }
    EXPECT_EQ(test::ReadRegistryTree(HKEY_CURRENT_USER, path_), std::nullopt);
}

// A key below that is listed but can't be opened (here a link to a key that doesn't exist): the
// read stops and names it, rather than give the tree without it.
TEST_F(RegistryTreeTest, ReadErrorStopsTheRead) {
    ASSERT_EQ(test::WriteRegistryTree(HKEY_CURRENT_USER, path_, Sample()), ERROR_SUCCESS);
    platform::OwnedKey link;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\shell\\Link").c_str(), 0, nullptr,
                                REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, link.put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t target[] = L"\\Registry\\Machine\\Software\\VantolineTest\\Missing";
    ASSERT_EQ(::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(target),
                               sizeof target - sizeof(L'\0')),
              ERROR_SUCCESS);
    try {
        test::ReadRegistryTree(HKEY_CURRENT_USER, path_);
        ADD_FAILURE() << "read whole";
    } catch (const test::RegistryReadError& error) {
        EXPECT_EQ(error.key, path_ + L"\\shell\\Link");
        EXPECT_EQ(error.status, ERROR_FILE_NOT_FOUND);
    }
    NtDeleteKey(link.get()); // the link itself: removing the tree would follow it
}

} // namespace
