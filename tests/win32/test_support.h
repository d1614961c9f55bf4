// Helpers for the tests that run under Wine against the real Windows API.
#pragma once

#include "platform/win_owned.h"

#include <windows.h>

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

inline std::string ReadBytes(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& file, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A registry key's whole tree as it was when this was made, or its absence, put back when this
// goes: for checks that change keys that are not theirs (a tester's own registration). Values
// keep their types and bytes; keys' classes and rights are not kept.
class SavedRegistryTree {
public:
    SavedRegistryTree(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {
        platform::OwnedKey key;
        if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            saved_.emplace();
            Read(key.get(), *saved_);
        }
    }
    ~SavedRegistryTree() {
        ::RegDeleteTreeW(root_, path_.c_str());
        if (saved_) {
            Write(root_, path_, *saved_);
        }
    }
    SavedRegistryTree(const SavedRegistryTree&) = delete;
    SavedRegistryTree& operator=(const SavedRegistryTree&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    struct Node {
        std::vector<Value> values;
        std::vector<std::pair<std::wstring, Node>> children;
    };

    static void Read(HKEY key, Node& node) {
        DWORD longestName = 0;
        DWORD longestData = 0;
        DWORD longestChild = 0;
        ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longestChild, nullptr, nullptr,
                           &longestName, &longestData, nullptr, nullptr);
        for (DWORD i = 0;; ++i) {
            Value value;
            value.name.resize(longestName + 1);
            value.data.resize(longestData + 1);
            DWORD nameLength = longestName + 1;
            DWORD size = longestData + 1;
            if (::RegEnumValueW(key, i, value.name.data(), &nameLength, nullptr, &value.type,
                                value.data.data(), &size) != ERROR_SUCCESS) {
                break;
            }
            value.name.resize(nameLength);
            value.data.resize(size);
            node.values.push_back(std::move(value));
        }
        for (DWORD i = 0;; ++i) {
            std::wstring name(longestChild + 1, L'\0');
            DWORD length = longestChild + 1;
            if (::RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            name.resize(length);
            platform::OwnedKey child;
            if (::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
                node.children.emplace_back(name, Node{});
                Read(child.get(), node.children.back().second);
            }
        }
    }

    static void Write(HKEY parent, const std::wstring& name, const Node& node) {
        platform::OwnedKey key;
        if (::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                              nullptr) != ERROR_SUCCESS) {
            return;
        }
        for (const Value& value : node.values) {
            ::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size()));
        }
        for (const auto& [childName, child] : node.children) {
            Write(key.get(), childName, child);
        }
    }

    HKEY root_;
    std::wstring path_;
    std::optional<Node> saved_;
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
            ::RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type_, data_->data(),
                              static_cast<DWORD>(data_->size()));
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
