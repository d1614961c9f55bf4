// Helpers for the tests that run under Wine against the real Windows API.
#pragma once

#include "platform/win_owned.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

// The key below parent with all below it (its values only where keysBelow is false), or nothing
// where it is absent.
inline std::optional<RegistryTree> ReadRegistryTree(HKEY parent, const std::wstring& path,
                                                    bool keysBelow = true) {
    platform::OwnedKey key;
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD longestKey = 0, longestName = 0, longestData = 0;
    ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &longestKey, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr);
    RegistryTree tree;
    for (DWORD i = 0;; ++i) {
        RegistryTree::Value value{std::wstring(longestName + 1, L'\0'), REG_NONE,
                                  std::vector<BYTE>(longestData + 1)};
        DWORD nameLength = longestName + 1, size = longestData + 1;
        if (::RegEnumValueW(key.get(), i, value.name.data(), &nameLength, nullptr, &value.type,
                            value.data.data(), &size) != ERROR_SUCCESS) {
            break;
        }
        value.name.resize(nameLength);
        value.data.resize(size);
        tree.values.push_back(std::move(value));
    }
    for (DWORD i = 0; keysBelow; ++i) {
        std::wstring name(longestKey + 1, L'\0');
        DWORD length = longestKey + 1;
        if (::RegEnumKeyExW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS) {
            break;
        }
        name.resize(length);
        if (auto below = ReadRegistryTree(key.get(), name)) {
            tree.keys.emplace_back(name, std::move(*below));
        }
    }
    std::ranges::sort(tree.values, {}, &RegistryTree::Value::name);
    std::ranges::sort(tree.keys, {}, &std::pair<std::wstring, RegistryTree>::first);
    return tree;
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
// the tree holds (nothing where the tree is nothing). ERROR_SUCCESS, or the first error.
inline LSTATUS WriteRegistryTree(HKEY parent, const std::wstring& path,
                                 const std::optional<RegistryTree>& tree) {
    const LSTATUS removed = ::RegDeleteTreeW(parent, path.c_str());
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
        return removed;
    }
    return tree ? CreateRegistryTree(parent, path, *tree) : ERROR_SUCCESS;
}

// A registry key's whole tree as it was when this was made, or its absence, put back when this
// goes: for checks that change keys that are not theirs (a tester's own registration).
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
// keys on its path that were absent then go again, with all that was made below them.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring key, std::wstring name)
        : root_(root), key_(std::move(key)), name_(std::move(name)) {
        platform::OwnedKey opened; // read as stored, byte for byte: no terminator added
        if (::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
            ERROR_SUCCESS) {
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
        DWORD size = 0;
        if (::RegQueryValueExW(opened.get(), name_.c_str(), nullptr, &type_, nullptr, &size) ==
            ERROR_SUCCESS) {
            data_.emplace(size);
            ::RegQueryValueExW(opened.get(), name_.c_str(), nullptr, &type_, data_->data(), &size);
            data_->resize(size);
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
