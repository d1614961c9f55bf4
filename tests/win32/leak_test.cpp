// Each registry routine, many times over in one process, leaves no handle behind: a program
// that registers itself at every start, or a window whose button is pressed all day, must not
// grow.
#include "game_starter/Registry.h"
#include "language_tool/Form1.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

namespace {

// The process's open handles. Wine answers GetProcessHandleCount with 0, but its server gives a
// new handle the lowest free slot: the slot a fresh handle gets rises exactly when handles
// stay open, so it stands in for the count there.
DWORD OpenHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    HANDLE probe = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto slot = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(probe) / 4);
    ::CloseHandle(probe);
    return slot;
}

DWORD GuiObjects(DWORD kind) {
    return ::GetGuiResources(::GetCurrentProcess(), kind);
}

// Runs the step once to let lazy loads settle, then `rounds` times, and checks that handles,
// GDI and USER objects end within a small slack of where they began.
void ExpectNoGrowth(const char* name, int rounds, const std::function<void()>& step) {
    SCOPED_TRACE(name);
    constexpr DWORD kSlack = 3;
    step();
    const DWORD handles = OpenHandles();
    const DWORD gdi = GuiObjects(GR_GDIOBJECTS);
    const DWORD user = GuiObjects(GR_USEROBJECTS);
    for (int i = 0; i < rounds; ++i) {
        step();
    }
    EXPECT_LE(OpenHandles(), handles + kSlack);
    EXPECT_LE(GuiObjects(GR_GDIOBJECTS), gdi + kSlack);
    EXPECT_LE(GuiObjects(GR_USEROBJECTS), user + kSlack);
}

TEST(NoLeaks, RegistryRoutinesAndScriptShellTenThousandTimes) {
    constexpr int kRounds = 10'000;
    using platform::RootKey;
    auto& store = platform::SystemRegistry();
    const std::wstring key =
        L"Software\\VantolineLeakTest" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring scheme = L"ivlleak" + std::to_wstring(::GetCurrentProcessId());

    ExpectNoGrowth("write", kRounds, [&] {
        EXPECT_TRUE(ironvale::SetStringValue(store, RootKey::CurrentUser, key, L"v", L"text"));
    });
    ExpectNoGrowth("read", kRounds, [&] {
        EXPECT_EQ(ironvale::GetValueAsString(store, RootKey::CurrentUser, key, L"v"), L"text");
    });
    ExpectNoGrowth("failed read", kRounds / 10, [&] {
        EXPECT_EQ(ironvale::GetValueAsString(store, RootKey::CurrentUser, key + L"\\none", L"v"),
                  L"");
    });
    ExpectNoGrowth("registration", kRounds, [&] {
        ironvale::RegisterUrlProtocol(store, scheme, L"C:\\Games\\Ironvale.exe", {L"", L""});
    });

    tamsel::Form1 form; // its registry operations need no window
    const std::wstring path = L"HKEY_CURRENT_USER\\" + key + L"\\Language";
    ExpectNoGrowth("WScript.Shell write", kRounds,
                   [&] { EXPECT_TRUE(form.RegWrite(path, L"koreana", L"REG_SZ")); });
    ExpectNoGrowth("WScript.Shell read", kRounds,
                   [&] { EXPECT_EQ(form.RegRead(path), L"koreana"); });
    ExpectNoGrowth("WScript.Shell failed read", kRounds / 10,
                   [&] { EXPECT_EQ(form.RegRead(path + L"Missing"), L""); });

    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + scheme).c_str());
}

} // namespace
