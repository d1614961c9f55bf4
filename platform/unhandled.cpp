#include "unhandled.h"

#include <windows.h>
// After windows.h, which it needs.
#include <delayimp.h>

#include <cwchar>
#include <exception>
#include <iterator>
#include <new>

namespace platform {
namespace {

const wchar_t* failureBoxTitle = L"";
bool endSilentlyWithoutDll = false;
constexpr wchar_t kOutOfMemory[] = L"There is not enough memory to go on. The program ends.";

[[noreturn]] void ShowAndEnd(const wchar_t* text) {
    ::MessageBoxW(nullptr, text, failureBoxTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ::ExitProcess(1);
}

[[noreturn]] void OnMemoryExhausted() {
    ShowAndEnd(kOutOfMemory);
}

// The failure's own words where it has any, in a fixed buffer: memory may be what failed.
[[noreturn]] void OnUnhandled() {
    wchar_t text[320] = L"The program has failed and ends:\r\n";
    std::size_t at = std::wcslen(text);
    const char* reason = "an error without a description";
    try {
        if (const std::exception_ptr failure = std::current_exception()) {
            std::rethrow_exception(failure);
        }
    } catch (const std::bad_alloc&) {
        ShowAndEnd(kOutOfMemory);
    } catch (const std::exception& failure) {
        reason = failure.what();
    } catch (...) {
    }
    for (; *reason != '\0' && at + 1 < std::size(text); ++reason) {
        text[at++] = *reason >= 0x20 && *reason < 0x7F ? static_cast<wchar_t>(*reason) : L'?';
    }
    text[at] = L'\0';
    ShowAndEnd(text);
}

} // namespace

void EndWithBoxOnUnhandledFailure(const wchar_t* boxTitle) {
    failureBoxTitle = boxTitle;
    std::set_new_handler(OnMemoryExhausted);
    std::set_terminate(OnUnhandled);
}

void EndSilentlyWhenMemoryOrDllFails() {
    std::set_new_handler([] { ::ExitProcess(0); });
    endSilentlyWithoutDll = true;
}

} // namespace platform

// Called by the delay-load helper where a delay-loaded DLL can't be loaded or lacks a function.
// Returning nothing lets the helper raise its exception (0xC06D007E, 0xC06D007F), which ends the
// program as a crash; under the silent rule the run ends here instead.
static FARPROC WINAPI OnDelayLoadFailure(unsigned, PDelayLoadInfo) {
    if (platform::endSilentlyWithoutDll) {
        ::ExitProcess(0);
    }
    return nullptr;
}
// Microsoft's helper reads a constant hook, MinGW-w64's a variable (their delayimp.h declare
// it so).
extern "C" {
#ifdef _MSC_VER
const PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
#else
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
#endif
}
