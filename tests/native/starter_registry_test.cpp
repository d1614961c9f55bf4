#include "game_starter/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ironvale {
namespace {

using platform::RegistryData;

const wchar_t* RootName(RootKey root) {
    switch (root) {
    case RootKey::ClassesRoot:
        return L"HKCR";
    case RootKey::CurrentUser:
        return L"HKCU";
    }
    return L"?";
}

// A registry in memory that logs every call, one line each, and fails the calls it is told
// to fail. Values are kept as type and bytes; a read widens each byte to a character, as the
// code page conversion does for ASCII.
class FakeStore final : public RegistryStore {
public:
    struct Value {
        std::uint32_t type;
        std::string bytes;
    };

    std::vector<std::wstring> log;
    std::map<std::wstring, Value> values; // "ROOT\key\[name]"
    std::function<bool(const std::wstring& call)> fails = [](const std::wstring&) { return false; };
    // Every path can be stored as it stands unless a test says otherwise.
    std::function<std::optional<std::wstring>(const std::wstring& path)> storablePath =
        [](const std::wstring& path) { return std::optional<std::wstring>(path); };
    // No path has a short form unless a test gives one.
    std::function<std::optional<std::wstring>(const std::wstring& path)> shortPath =
        [](const std::wstring&) { return std::optional<std::wstring>(); };

    void Put(RootKey root, const std::wstring& key, const std::wstring& name, std::uint32_t type,
             std::string bytes) {
        values[Slot(root, key, name)] = Value{type, std::move(bytes)};
    }

    bool CreateKey(RootKey root, const std::wstring& subKey) override {
        return Call(L"create " + Key(root, subKey));
    }

    bool WriteString(RootKey root, const std::wstring& subKey, const std::wstring& valueName,
                     const std::wstring& text) override {
        if (!Call(L"write " + Slot(root, subKey, valueName) + L" = " + text)) {
            return false;
        }
        std::string bytes;
        for (wchar_t c : text) {
            bytes.push_back(static_cast<char>(c));
        }
        Put(root, subKey, valueName, platform::kRegSz, bytes);
        return true;
    }

    std::optional<RegistryData> ReadValue(RootKey root, const std::wstring& subKey,
                                          const std::wstring& valueName) override {
        const std::wstring slot = Slot(root, subKey, valueName);
        if (!Call(L"read " + slot)) {
            return std::nullopt;
        }
        const auto found = values.find(slot);
        if (found == values.end() || found->second.bytes.size() > platform::kValueBufferSize) {
            return std::nullopt;
        }
        RegistryData data;
        data.type = found->second.type;
        std::copy(found->second.bytes.begin(), found->second.bytes.end(), data.bytes.begin());
        for (std::uint8_t b : data.bytes) {
            data.text.push_back(static_cast<wchar_t>(b));
        }
        return data;
    }

    std::optional<std::wstring> StorablePath(const std::wstring& path) override {
        return storablePath(path);
    }

    std::optional<std::wstring> ShortStorablePath(const std::wstring& path) override {
        return shortPath(path);
    }

private:
    static std::wstring Key(RootKey root, const std::wstring& key) {
        return std::wstring(RootName(root)) + L"\\" + key;
    }
    static std::wstring Slot(RootKey root, const std::wstring& key, const std::wstring& name) {
        return Key(root, key) + L"\\[" + name + L"]";
    }
    bool Call(const std::wstring& call) {
        log.push_back(call);
        return !fails(call);
    }
};

std::string Dword(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF),
            static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 24 & 0xFF)};
}

TEST(RegistryModule, SetStringValueWritesEmptyAsOneBlankAndReportsTheStore) {
    FakeStore store;
    EXPECT_TRUE(SetStringValue(store, RootKey::CurrentUser, L"A\\B", L"", L""));
    EXPECT_TRUE(SetStringValue(store, RootKey::CurrentUser, L"A\\B", L"name", L"abc"));
    store.fails = [](const std::wstring&) { return true; };
    EXPECT_FALSE(SetStringValue(store, RootKey::CurrentUser, L"A\\B", L"name", L"x"));
    EXPECT_EQ(store.log, (std::vector<std::wstring>{L"write HKCU\\A\\B\\[] =  ",
                                                    L"write HKCU\\A\\B\\[name] = abc",
                                                    L"write HKCU\\A\\B\\[name] = x"}));
}

TEST(RegistryModule, GetValueAsStringByType) {
    struct Case {
        const char* what;
        std::uint32_t type;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"text", platform::kRegSz, "abc", L"abc"},
        {"text cut at its first NUL", platform::kRegSz, std::string("ab\0cd\0", 6), L"ab"},
        {"expandable text, unexpanded", platform::kRegExpandSz, "%TEMP%\\x", L"%TEMP%\\x"},
        {"1023 characters and a NUL", platform::kRegSz, std::string(1023, 'q') + '\0',
         std::wstring(1023, L'q')},
        {"a full buffer without NUL is taken whole", platform::kRegSz, std::string(1024, 'q'),
         std::wstring(1024, L'q')},
        {"more than the buffer", platform::kRegSz, std::string(1024, 'q') + '\0', L""},
        {"number 0x0000010A", platform::kRegDword, Dword(0x0000010A), L"266"},
        {"number 0", platform::kRegDword, Dword(0), L"0"},
        {"number with the top bit set", platform::kRegDword, Dword(0xFFFFFFFF), L"4294967295"},
        {"number 0x80000000", platform::kRegDword, Dword(0x80000000), L"2147483648"},
        {"binary", platform::kRegBinary, "abc", L""},
        {"text list", platform::kRegMultiSz, std::string("a\0b\0\0", 5), L""},
        {"no type", 0, "abc", L""},
        {"64-bit number", 11, Dword(5) + Dword(0), L""},
    };
    for (const Case& c : cases) {
        FakeStore store;
        store.Put(RootKey::CurrentUser, L"K", L"v", c.type, c.bytes);
        EXPECT_EQ(GetValueAsString(store, RootKey::CurrentUser, L"K", L"v"), c.text) << c.what;
    }
    FakeStore empty;
    EXPECT_EQ(GetValueAsString(empty, RootKey::CurrentUser, L"K", L"v"), L"") << "missing";
}

// The registration with HKEY_CLASSES_ROOT writable, step by step.
std::vector<std::wstring> MachineLayout(const std::wstring& sourceFilter) {
    return {
        L"create HKCR\\ivl",
        L"read HKCR\\http\\[Source Filter]",
        L"write HKCR\\ivl\\[Source Filter] = " + sourceFilter,
        L"write HKCR\\ivl\\DefaultIcon\\[] = C:\\Iron Vale\\Ironvale.exe,0",
        L"create HKCR\\ivl\\shell",
        L"create HKCR\\ivl\\shell\\open",
        L"write HKCR\\ivl\\shell\\open\\command\\[] = \"C:\\Iron Vale\\Ironvale.exe\" \"%1\"",
        L"write HKCR\\ivl\\[Url Protocol] =  ",
    };
}

const RunningProgram kSelf{L"C:\\Iron Vale", L"Ironvale"};

TEST(UrlProtocol, LayoutForTheRunningProgram) {
    FakeStore store;
    RegisterUrlProtocol(store, L"ivl", L"", kSelf);
    EXPECT_EQ(store.log, MachineLayout(L" "));

    FakeStore withFilter;
    withFilter.Put(RootKey::ClassesRoot, L"http", L"Source Filter", platform::kRegSz,
                   "{E436EBB6-524F-11CE-9F53-0020AF0BA770}");
    RegisterUrlProtocol(withFilter, L"ivl", L"", kSelf);
    EXPECT_EQ(withFilter.log, MachineLayout(L"{E436EBB6-524F-11CE-9F53-0020AF0BA770}"));
}

TEST(UrlProtocol, GivenPathIsUsedAsItStands) {
    FakeStore store;
    RegisterUrlProtocol(store, L"demo", L"D:\\x\\starter.bin", kSelf);
    EXPECT_EQ(store.log.at(3), L"write HKCR\\demo\\DefaultIcon\\[] = D:\\x\\starter.bin,0");
    EXPECT_EQ(store.log.at(6),
              L"write HKCR\\demo\\shell\\open\\command\\[] = \"D:\\x\\starter.bin\" \"%1\"");
}

// A path without an exact 8-bit form, or with a "%" that the shell would replace: its short
// form is registered where that will do, or nothing at all.
TEST(UrlProtocol, RegistersTheStorableFormOfThePathOrNothing) {
    using Path = std::optional<std::wstring>;
    struct Case {
        Path storable;
        Path shortForm;
        Path registered;
    };
    const Path percent = L"C:\\100%Speed %1\\Ironvale.exe";
    const Case cases[] = {
        {L"C:\\IRON~1", std::nullopt, L"C:\\IRON~1"},
        {std::nullopt, L"C:\\IRON~1", std::nullopt},
        {percent, L"C:\\100SPE~1\\IRONVALE.EXE", L"C:\\100SPE~1\\IRONVALE.EXE"},
        {percent, L"C:\\100%SP~1\\IRONVALE.EXE", std::nullopt},
        {percent, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.storable.value_or(L"-")) + " short " +
                     testing::PrintToString(c.shortForm.value_or(L"-")));
        FakeStore store;
        store.storablePath = [&](const std::wstring&) { return c.storable; };
        store.shortPath = [&](const std::wstring& path) {
            return path == L"C:\\Iron Vale\\Ironvale.exe" ? c.shortForm : std::nullopt;
        };
        RegisterUrlProtocol(store, L"ivl", L"", kSelf);
        if (!c.registered) {
            EXPECT_EQ(store.log, std::vector<std::wstring>{}); // not even the scheme's key
            continue;
        }
        ASSERT_EQ(store.log.size(), 8u);
        EXPECT_EQ(store.log[3], L"write HKCR\\ivl\\DefaultIcon\\[] = " + *c.registered + L",0");
        EXPECT_EQ(store.log[6],
                  L"write HKCR\\ivl\\shell\\open\\command\\[] = \"" + *c.registered + L"\" \"%1\"");
    }
}

// The layout with every write that the store refuses below HKEY_CLASSES_ROOT tried again below
// the user's classes, right after it.
std::vector<std::wstring>
WithUserFallback(const std::vector<std::wstring>& layout,
                 const std::function<bool(const std::wstring&)>& refused) {
    std::vector<std::wstring> log;
    for (const std::wstring& line : layout) {
        log.push_back(line);
        if (refused(line) && line.find(L"HKCR\\ivl") != std::wstring::npos) {
            std::wstring user = line;
            user.replace(user.find(L"HKCR\\"), 5, L"HKCU\\Software\\Classes\\");
            log.push_back(user);
        }
    }
    return log;
}

// Refused below HKEY_CLASSES_ROOT: everything (a standard user without a key of the scheme),
// some keys, or only the command (a standard user whose own half has a partial key of the
// scheme in front of the machine's, whose command key doesn't open for writing). Each refused
// write goes to the user's classes on its own, and nothing else does; a failure in the user's
// classes doesn't stop the later steps either.
TEST(UrlProtocol, EachWriteRefusedBelowClassesRootGoesToTheUsersClasses) {
    using Refused = std::function<bool(const std::wstring&)>;
    const auto has = [](const wchar_t* part) {
        return Refused(
            [=](const std::wstring& call) { return call.find(part) != std::wstring::npos; });
    };
    const struct {
        const char* what;
        Refused refused;
    } cases[] = {
        {"all of HKCR", has(L"HKCR\\ivl")},
        {"only the command", has(L"HKCR\\ivl\\shell\\open\\command")},
        {"the icon, in both halves", has(L"ivl\\DefaultIcon")},
        {"the shell keys", has(L"ivl\\shell")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeStore store;
        store.fails = c.refused;
        RegisterUrlProtocol(store, L"ivl", L"", kSelf);
        EXPECT_EQ(store.log, WithUserFallback(MachineLayout(L" "), c.refused));
    }
    FakeStore onlyCommand;
    onlyCommand.fails = has(L"HKCR\\ivl\\shell\\open\\command");
    RegisterUrlProtocol(onlyCommand, L"ivl", L"", kSelf);
    EXPECT_EQ(GetValueAsString(onlyCommand, RootKey::CurrentUser,
                               L"Software\\Classes\\ivl\\shell\\open\\command", L""),
              L"\"C:\\Iron Vale\\Ironvale.exe\" \"%1\"");
}

} // namespace
} // namespace ironvale
