// Helpers for the tests that run under Wine against the real Windows API.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

inline std::string ReadBytes(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& file, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace test
