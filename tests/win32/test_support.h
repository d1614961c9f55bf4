// Helpers for the tests that run under Wine against the real Windows API.
#pragma once

#include "platform/win_owned.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace test {

// True under Wine, whose ntdll exports wine_get_version; Windows' has no such export. A check
// that only Windows can answer is a GTEST_SKIP with its reason there.
inline bool RunningOnWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// True when the checks run from the kit (VANTOLINE_KIT=1), on a tester's machine rather than
// in a build machine's test prefix.
inline bool RunningFromKit() {
    wchar_t value[8] = {};
    return ::GetEnvironmentVariableW(L"VANTOLINE_KIT", value, 8) == 1 && value[0] == L'1';
}

// A fresh folder below the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        path_ = std::filesystem::path(base) /
                (L"vantoline-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        // The temporary folder may be named in short form (C:\\Users\\RUNNER~1\\...): its
        // long form, as a program finds its own path.
        wchar_t longPath[MAX_PATH] = {};
        const DWORD length = ::GetLongPathNameW(path_.c_str(), longPath, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            path_ = longPath;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

// Whether the drive gave this file or folder, whose name is no 8.3 name, a short name of its
// own: Wine's drives always do; on Windows it is a setting of each volume (fsutil 8dot3name).
inline bool HasShortName(const std::filesystem::path& path) {
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH &&
           std::filesystem::path(shortPath).filename() != path.filename();
}

inline std::string Utf8(const std::wstring& text) {
    const int wide = static_cast<int>(text.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, result.data(), size, nullptr, nullptr);
    return result;
}

inline std::wstring Wide(const std::string& utf8) {
    const int narrow = static_cast<int>(utf8.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), narrow, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), narrow, result.data(), size);
    return result;
}

inline std::string ReadBytes(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& file, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A registry key with all below it: its values (name, type and the bytes as stored) and its keys,
// each sorted by name, so that two reads of the same contents are equal whatever order they were
// written in. Keys' classes and rights are not kept.
struct RegistryTree {
    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        bool operator==(const Value&) const = default;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::wstring, RegistryTree>> keys;
    bool operator==(const RegistryTree&) const = default;
};

// A registry read that met an error other than the end of a list or an absent key: what it
// read is not the whole, and must not stand for it.
class RegistryReadError : public std::runtime_error {
public:
    RegistryReadError(const std::wstring& where, LSTATUS error)
        : std::runtime_error(Utf8(where) + " (error " + std::to_string(error) + ")"), key(where),
          status(error) {}
    std::wstring key; // below the root key read from
    LSTATUS status;
};

namespace detail {

inline RegistryTree ReadOpenKey(HKEY key, const std::wstring& path, bool keysBelow) {
    RegistryTree tree;
    std::wstring name(16384, L'\0'); // the longest value name, and its NUL
    std::vector<BYTE> data(4096);    // grown where a value needs more
    for (DWORD i = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = REG_NONE,
              size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_MORE_DATA) {
            data.resize(std::max<std::size_t>(size, data.size() * 2));
            continue;
        }
        if (status != ERROR_SUCCESS) {
            throw RegistryReadError(path, status);
        }
        tree.values.push_back({name.substr(0, nameLength), type,
                               std::vector<BYTE>(data.begin(), data.begin() + size)});
        ++i;
    }
    for (DWORD i = 0; keysBelow; ++i) {
        wchar_t below[256] = {}; // the longest key name, and its NUL
        DWORD length = 256;
        const LSTATUS status =
            ::RegEnumKeyExW(key, i, below, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        const std::wstring belowPath = path + L"\\" + below;
        if (status != ERROR_SUCCESS) {
            throw RegistryReadError(status == ERROR_MORE_DATA ? belowPath : path, status);
        }
        // Listed, so there: a key that can't be opened is an error, never an absent key.
        platform::OwnedKey opened;
        const LSTATUS open = ::RegOpenKeyExW(key, below, 0, KEY_READ, opened.put());
        if (open != ERROR_SUCCESS) {
            throw RegistryReadError(belowPath, open);
        }
        tree.keys.emplace_back(below, ReadOpenKey(opened.get(), belowPath, true));
    }
    std::ranges::sort(tree.values, {}, &RegistryTree::Value::name);
    std::ranges::sort(tree.keys, {}, &std::pair<std::wstring, RegistryTree>::first);
    return tree;
}

} // namespace detail

// The key below parent with all below it (its values only where keysBelow is false), or nothing
// where it is absent. Throws RegistryReadError where anything in it can't be read.
inline std::optional<RegistryTree> ReadRegistryTree(HKEY parent, const std::wstring& path,
                                                    bool keysBelow = true) {
    platform::OwnedKey key;
    const LSTATUS status = ::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    if (status != ERROR_SUCCESS) {
        throw RegistryReadError(path, status);
    }
    return detail::ReadOpenKey(key.get(), path, keysBelow);
}

// One value of the key below root, its bytes as stored (no terminator added), or nothing where
// the key or the value is absent. Throws RegistryReadError where it can't be read.
inline std::optional<RegistryTree::Value> ReadRegistryValue(HKEY root, const std::wstring& key,
                                                            const std::wstring& name) {
    platform::OwnedKey opened;
    LSTATUS status = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.put());
    RegistryTree::Value value{name, REG_NONE, std::vector<BYTE>(256)};
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        DWORD size = static_cast<DWORD>(value.data.size());
        status = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &value.type,
                                    value.data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.data.resize(size);
            return value;
        }
        if (status == ERROR_MORE_DATA) {
            value.data.resize(std::max<std::size_t>(size, value.data.size() * 2));
        }
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    throw RegistryReadError(key + L"\\" + name, status);
}

// Stores the value in the key, or in the key below it (made where absent), its bytes exactly. A
// string's last character is followed by one that is not NUL: the system would count such a NUL in,
// as it does for a string written without its own.
inline LSTATUS SetRegistryValue(HKEY key, const wchar_t* below, const RegistryTree::Value& value) {
    std::vector<BYTE> data = value.data;
    data.insert(data.end(), {0xff, 0xff});
    return ::RegSetKeyValueW(key, below, value.name.c_str(), value.type, data.data(),
                             static_cast<DWORD>(value.data.size()));
}

// Creates the key below parent with all in the tree; goes on past an error and returns the first.
inline LSTATUS CreateRegistryTree(HKEY parent, const std::wstring& path, const RegistryTree& tree) {
    platform::OwnedKey key;
    LSTATUS status = ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                       key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    for (const RegistryTree::Value& value : tree.values) {
        const LSTATUS set = SetRegistryValue(key.get(), nullptr, value);
        status = status == ERROR_SUCCESS ? set : status;
    }
    for (const auto& [name, below] : tree.keys) {
        const LSTATUS created = CreateRegistryTree(key.get(), name, below);
        status = status == ERROR_SUCCESS ? created : status;
    }
    return status;
}

// Makes the key below parent hold exactly the tree: removes it with all below it, then creates what
// the tree holds (nothing where the tree is nothing), also where the removal failed part-way.
// ERROR_SUCCESS, or the first error.
inline LSTATUS WriteRegistryTree(HKEY parent, const std::wstring& path,
                                 const std::optional<RegistryTree>& tree) {
    const LSTATUS removed = ::RegDeleteTreeW(parent, path.c_str());
    const LSTATUS created = tree ? CreateRegistryTree(parent, path, *tree) : ERROR_SUCCESS;
    return removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND ? removed : created;
}

// A registry key's whole tree as it was when this was made, or its absence, put back when this
// goes: for checks that change keys that are not theirs (a tester's own registration). Throws
// RegistryReadError where the tree can't be read whole: nothing is changed then.
class SavedRegistryTree {
public:
    SavedRegistryTree(HKEY root, std::wstring path)
        : root_(root), path_(std::move(path)), saved_(ReadRegistryTree(root_, path_)) {}
    ~SavedRegistryTree() { WriteRegistryTree(root_, path_, saved_); }
    SavedRegistryTree(const SavedRegistryTree&) = delete;
    SavedRegistryTree& operator=(const SavedRegistryTree&) = delete;

private:
    HKEY root_;
    std::wstring path_;
    std::optional<RegistryTree> saved_;
};

// One registry value as it was when this was made, or its absence, put back when this goes;
// keys on its path that were absent then go again, with all that was made below them. Throws
// RegistryReadError where the value can't be read: nothing is changed then.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring key, std::wstring name)
        : root_(root), key_(std::move(key)), name_(std::move(name)) {
        platform::OwnedKey opened;
        const LSTATUS status =
            ::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE, opened.put());
        if (status == ERROR_FILE_NOT_FOUND) {
            absentFrom_ = key_; // the highest key of the path that is absent
            for (std::size_t slash = key_.find(L'\\'); slash != std::wstring::npos;
                 slash = key_.find(L'\\', slash + 1)) {
                platform::OwnedKey ancestor;
                if (::RegOpenKeyExW(root_, key_.substr(0, slash).c_str(), 0, KEY_QUERY_VALUE,
                                    ancestor.put()) != ERROR_SUCCESS) {
                    absentFrom_ = key_.substr(0, slash);
                    break;
                }
            }
            return;
        }
        if (status != ERROR_SUCCESS) {
            throw RegistryReadError(key_, status);
        }
        if (const auto value = ReadRegistryValue(root_, key_, name_)) {
            type_ = value->type;
            data_ = value->data;
        }
    }
    ~SavedRegistryValue() {
        if (data_) {
            SetRegistryValue(root_, key_.c_str(), {name_, type_, *data_});
        } else if (!absentFrom_.empty()) {
            ::RegDeleteTreeW(root_, absentFrom_.c_str());
        } else {
            ::RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
        }
    }
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

private:
    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    std::wstring absentFrom_; // empty: the key was there
    DWORD type_ = 0;
    std::optional<std::vector<BYTE>> data_;
};

} // namespace test
