// Each registry routine, many times over in one process, leaves no handle behind: a program
// that registers itself at every start, or a window whose button is pressed all day, must not
// grow.
#include "game_starter/Registry.h"
#include "language_tool/Form1.h"
#include "language_tool/Form2.h"
#include "language_tool/control_ids.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <string>
#include <vector>

namespace {

// The process's open handles. Wine answers GetProcessHandleCount with 0, but lists every
// handle of its processes in SystemHandleInformation: this process's entries there. (The lowest
// free slot, which a fresh handle gets, is no count: a handle that a round opens before the
// one it leaks and closes after leaves that slot free, whatever it leaked above.)
DWORD OpenHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    constexpr auto kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 16);
    NTSTATUS status = ::NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                                 static_cast<ULONG>(buffer.size()), nullptr);
    while (status == kLengthMismatch) { // more handles than fit: a larger buffer
        buffer.resize(buffer.size() * 2);
        status = ::NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), nullptr);
    }
    if (status != 0) {
        ADD_FAILURE() << "no list of handles: status " << std::hex << status;
        return 0;
    }
    const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    for (ULONG i = 0; i < list->Count; ++i) {
        count += list->Handle[i].OwnerPid == ::GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<DWORD*>(counter);
    return TRUE;
}

BOOL CALLBACK CountWithDescendants(HWND window, LPARAM counter) {
    ::EnumChildWindows(window, CountWindow, counter); // every descendant, not only children
    return CountWindow(window, counter);
}

// Windows of this thread, top-level and child: the USER objects a form makes.
DWORD ThreadWindows() {
    DWORD count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountWithDescendants,
                        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Live GDI objects. Wine's GetGuiResources counts nothing, but it keeps the process's GDI handle
// table where Windows does (PEB GdiSharedHandleTable): 24-byte entries whose type byte is not 0
// while the object lives.
DWORD GdiObjects() {
    if (const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS); count != 0) {
        return count;
    }
    constexpr std::size_t kTableOffset = 0xF8; // in the 64-bit PEB
    constexpr std::size_t kEntries = 0x10000;
    constexpr std::size_t kEntrySize = 24;
    constexpr std::size_t kTypeByte = 14;
    PROCESS_BASIC_INFORMATION process{};
    if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &process,
                                    sizeof process, nullptr) != 0) {
        return 0;
    }
    const auto* peb = reinterpret_cast<const unsigned char*>(process.PebBaseAddress);
    const auto* table = *reinterpret_cast<const unsigned char* const*>(peb + kTableOffset);
    DWORD count = 0;
    for (std::size_t i = 0; table != nullptr && i < kEntries; ++i) {
        count += table[i * kEntrySize + kTypeByte] != 0 ? 1 : 0;
    }
    return count;
}

DWORD UserObjects() {
    const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    return count != 0 ? count : ThreadWindows();
}

// Rounds of each registry routine: 1,000 in the test command, where a leak of one handle or
// object a round moves its count by 1,000, far past the slack below. A soak run asks for more
// in VANTOLINE_SOAK_ROUNDS (scripts/soak.sh: 10,000). A round of the tool's windows takes far
// longer: they run a tenth as many rounds (100, and 1,000 in the soak run), where a leak of one
// object a round still moves its count by 100.
int Rounds() {
    constexpr int kTestCommandRounds = 1'000;
    char text[32] = {};
    const DWORD length = ::GetEnvironmentVariableA("VANTOLINE_SOAK_ROUNDS", text, sizeof text);
    if (length == 0) {
        return kTestCommandRounds;
    }
    char* end = nullptr;
    const long rounds = length < sizeof text ? std::strtol(text, &end, 10) : 0;
    if (end == nullptr || *end != '\0' || rounds < 50) {
        ADD_FAILURE() << "VANTOLINE_SOAK_ROUNDS must be a number of rounds, 50 or more: " << text;
        return kTestCommandRounds;
    }
    return static_cast<int>(rounds);
}

// Runs the step once to let lazy loads settle, then `rounds` times, and checks that handles,
// GDI and USER objects end within a small slack of where they began.
void ExpectNoGrowth(const char* name, int rounds, const std::function<void()>& step) {
    SCOPED_TRACE(name);
    constexpr DWORD kSlack = 3;
    step();
    // The first use of the counters themselves brings up user32 (desktop handles, stock GDI
    // objects): count once before the counts that are compared.
    OpenHandles();
    GdiObjects();
    UserObjects();
    const DWORD handles = OpenHandles();
    const DWORD gdi = GdiObjects();
    const DWORD user = UserObjects();
    for (int i = 0; i < rounds; ++i) {
        step();
    }
    const DWORD handlesAfter = OpenHandles();
    const DWORD gdiAfter = GdiObjects();
    const DWORD userAfter = UserObjects();
    std::printf("%s, %d rounds: handles %lu -> %lu, GDI %lu -> %lu, USER %lu -> %lu\n", name,
                rounds, handles, handlesAfter, gdi, gdiAfter, user, userAfter);
    EXPECT_LE(handlesAfter, handles + kSlack);
    EXPECT_LE(gdiAfter, gdi + kSlack);
    EXPECT_LE(userAfter, user + kSlack);
}

TEST(NoLeaks, RegistryRoutinesAndScriptShellRoundAfterRound) {
    const int rounds = Rounds();
    using platform::RootKey;
    auto& store = platform::SystemRegistry();
    const std::wstring key =
        L"Software\\VantolineLeakTest" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring scheme = L"ivlleak" + std::to_wstring(::GetCurrentProcessId());

    ExpectNoGrowth("write", rounds, [&] {
        EXPECT_TRUE(ironvale::SetStringValue(store, RootKey::CurrentUser, key, L"v", L"text"));
    });
    ExpectNoGrowth("read", rounds, [&] {
        EXPECT_EQ(ironvale::GetValueAsString(store, RootKey::CurrentUser, key, L"v"), L"text");
    });
    ExpectNoGrowth("failed read", rounds / 10, [&] {
        EXPECT_EQ(ironvale::GetValueAsString(store, RootKey::CurrentUser, key + L"\\none", L"v"),
                  L"");
    });
    ExpectNoGrowth("registration", rounds, [&] {
        ironvale::RegisterUrlProtocol(store, scheme, L"C:\\Games\\Ironvale.exe", {L"", L""});
    });

    tamsel::Form1 form; // its registry operations need no window
    const std::wstring path = L"HKEY_CURRENT_USER\\" + key + L"\\Language";
    ExpectNoGrowth("WScript.Shell write", rounds,
                   [&] { EXPECT_TRUE(form.RegWrite(path, L"koreana", L"REG_SZ")); });
    ExpectNoGrowth("WScript.Shell read", rounds,
                   [&] { EXPECT_EQ(form.RegRead(path), L"koreana"); });
    ExpectNoGrowth("WScript.Shell failed read", rounds / 10,
                   [&] { EXPECT_EQ(form.RegRead(path + L"Missing"), L""); });

    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + scheme).c_str());
}

} // namespace

namespace {

// Presses OK on every message box of this process while it lives: the start window greets
// with a modal box.
class BoxAnswerer {
public:
    BoxAnswerer()
        : thread_([this] {
              while (!stop_) {
                  ::EnumWindows(
                      [](HWND window, LPARAM) {
                          DWORD process = 0;
                          ::GetWindowThreadProcessId(window, &process);
                          wchar_t name[16] = {};
                          ::GetClassNameW(window, name, 16);
                          if (process == ::GetCurrentProcessId() &&
                              std::wstring(name) == L"#32770") {
                              ::PostMessageW(window, WM_COMMAND, IDOK, 0);
                          }
                          return TRUE;
                      },
                      0);
                  ::Sleep(2);
              }
          }) {}
    ~BoxAnswerer() {
        stop_ = true;
        thread_.join();
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(NoLeaks, TheToolsTwoWindowsRoundAfterRound) {
    BoxAnswerer answerer;
    ExpectNoGrowth("start and main window", Rounds() / 10, [] {
        tamsel::Form1 mainWindow;
        tamsel::Form2 startWindow(mainWindow);
        startWindow.Start(); // the greeting, then the start window or the main window
        mainWindow.Show();
        EXPECT_NE(::FindWindowW(tamsel::ids::kForm1Class, nullptr), nullptr);
        EXPECT_NE(::FindWindowW(tamsel::ids::kForm2Class, nullptr), nullptr);
    });
    EXPECT_EQ(::FindWindowW(tamsel::ids::kForm1Class, nullptr), nullptr);
}

} // namespace
