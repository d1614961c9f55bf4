// Linked into the fault variants of both programs (tests/CMakeLists.txt wraps every import
// that the table below names): counts the fallible calls from the entry point on and makes
// call N fail as Windows fails it. The environment says which:
//   VANTOLINE_FAULT_AT=N             the call to fail (0: none, count only)
//   VANTOLINE_FAULT_MODE=onward      call N and every later one (otherwise call N only)
//   VANTOLINE_FAULT_STANDARD_USER=1  every key creation below HKEY_CLASSES_ROOT is denied
//   VANTOLINE_FAULT_LOG=FILE         "refused K Name" per failed call, "start K LINE" per
//                                    program started, "calls C" at the end
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

extern "C" decltype(&WideCharToMultiByte) __real___imp_WideCharToMultiByte;

namespace {

LONG counted = 0;
bool armed = false; // from the entry point on
long failAt = 0;
bool onward = false;
bool standardUser = false;
wchar_t logFile[MAX_PATH] = {};

// One line to the log, without allocating: the call that fails may be the memory itself.
void Log(const char* what, long number, const char* text) {
    char line[1100];
    const int length = ::wsprintfA(line, "%s %ld %.1000s\n", what, number, text);
    HANDLE file = ::CreateFileW(logFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
        ::CloseHandle(file);
    }
}

void Arm() {
    wchar_t text[32] = {};
    failAt = ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_AT", text, 32) > 0
                 ? std::wcstol(text, nullptr, 10)
                 : 0;
    onward = ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_MODE", text, 32) > 0 &&
             std::wcscmp(text, L"onward") == 0;
    standardUser = ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_STANDARD_USER", text, 32) > 0 &&
                   text[0] == L'1';
    ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_LOG", logFile, MAX_PATH);
    armed = true;
}

void Disarm() {
    if (armed) {
        Log("calls", counted, "");
        armed = false;
    }
}

// Counts one fallible call; true when it is to fail. Denied: refused to a standard user.
bool Refuse(const char* name, bool denied = false) {
    if (!armed) {
        return false;
    }
    const long call = ::InterlockedIncrement(&counted);
    const bool refused = failAt > 0 && (call == failAt || (onward && call > failAt));
    if (refused || denied) {
        Log(refused ? "refused" : "denied", call, name);
    }
    return refused || denied;
}

// Every program start is written down, refused or not, for the driver to check.
template <typename... A> void Note(A...) {}
void Note(LPCWSTR, LPWSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
          LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    char text[1000] = {};
    __real___imp_WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text - 1, nullptr, nullptr);
    Log("start", counted, text);
}

// The wrapper of one function: its own signature, its failure result and last error; where
// Denies is set, its first argument is the root key a standard user may not write below.
template <auto* Real, const char* Name, auto Failure, DWORD Error, bool Denies = false>
struct Fallible;
template <typename R, typename... A, R (**Real)(A...), const char* Name, auto Failure, DWORD Error,
          bool Denies>
struct Fallible<Real, Name, Failure, Error, Denies> {
    static R Call(A... args) {
        bool denied = false;
        if constexpr (Denies) {
            denied = standardUser &&
                     [](HKEY root, auto...) { return root == HKEY_CLASSES_ROOT; }(args...);
        }
        Note(args...);
        if (Refuse(Name, denied)) {
            ::SetLastError(Error);
            if constexpr (std::is_invocable_v<decltype(Failure), A...>) {
                return Failure(args...);
            } else {
                return static_cast<R>(Failure);
            }
        }
        return (*Real)(args...);
    }
};

// A settings file that can't be read gives the default, as a missing key does.
DWORD PlaceDefault(LPCSTR, LPCSTR, LPCSTR fallback, LPSTR buffer, DWORD size, LPCSTR) {
    const DWORD length = std::min(static_cast<DWORD>(std::strlen(fallback)), size - 1);
    std::memcpy(buffer, fallback, length);
    buffer[length] = '\0';
    return length;
}

} // namespace

// Name, failure result (or what makes it), last error, denied to a standard user below
// HKEY_CLASSES_ROOT.
#define FALLIBLE_IMPORTS(X)                                                                        \
    X(RegCreateKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, true)                             \
    X(RegOpenKeyExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                            \
    X(RegSetValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false)                             \
    X(RegQueryValueExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                         \
    X(GetPrivateProfileStringA, &PlaceDefault, ERROR_FILE_NOT_FOUND, false)                        \
    X(WritePrivateProfileStringA, FALSE, ERROR_ACCESS_DENIED, false)                               \
    X(GetUserNameA, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                                         \
    X(CoInitializeEx, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY, false)                               \
    X(CLSIDFromProgID, CO_E_CLASSSTRING, ERROR_FILE_NOT_FOUND, false)                              \
    X(CoCreateInstance, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY, false)                             \
    X(SysAllocStringLen, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                  \
    X(RegisterClassExW, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                         \
    X(CreateWindowExW, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                    \
    X(CreateFontIndirectW, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                \
    X(GetDC, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                              \
    X(CreateCompatibleDC, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                 \
    X(CreateDIBSection, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                   \
    X(LoadImageW, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                         \
    X(LoadLibraryExW, nullptr, ERROR_MOD_NOT_FOUND, false)                                         \
    X(MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                              \
    X(CreateProcessW, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                                       \
    X(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                       \
    X(GetFileAttributesExW, FALSE, ERROR_FILE_NOT_FOUND, false)                                    \
    X(GetShortPathNameW, 0, ERROR_FILE_NOT_FOUND, false)                                           \
    X(WideCharToMultiByte, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                      \
    X(MultiByteToWideChar, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                      \
    X(FormatMessageW, 0, ERROR_NOT_ENOUGH_MEMORY, false)
// Found with GetProcAddress (the wrapped one hands these out in their place).
#define FALLIBLE_LOOKED_UP(P)                                                                      \
    P(GetDpiForWindow, 0, ERROR_INVALID_HANDLE)                                                    \
    P(GetDpiForSystem, 0, ERROR_NOT_ENOUGH_MEMORY)                                                 \
    P(GetSystemMetricsForDpi, 0, ERROR_NOT_ENOUGH_MEMORY)                                          \
    P(AdjustWindowRectExForDpi, FALSE, ERROR_NOT_ENOUGH_MEMORY)                                    \
    P(SystemParametersInfoForDpi, FALSE, ERROR_NOT_ENOUGH_MEMORY)

#define DEFINE_IMPORT(name, failure, error, denies)                                                \
    extern "C" decltype(&name) __real___imp_##name;                                                \
    namespace {                                                                                    \
    constexpr char kName_##name[] = #name;                                                         \
    }                                                                                              \
    extern "C" {                                                                                   \
    decltype(&name) __wrap___imp_##name =                                                          \
        &Fallible<&__real___imp_##name, kName_##name, failure, error, denies>::Call;               \
    }
FALLIBLE_IMPORTS(DEFINE_IMPORT)

#define DEFINE_LOOKED_UP(name, failure, error)                                                     \
    decltype(&name) real##name = nullptr;                                                          \
    constexpr char kName_##name[] = #name;
namespace {
FALLIBLE_LOOKED_UP(DEFINE_LOOKED_UP)
} // namespace

extern "C" {
extern decltype(&GetProcAddress) __real___imp_GetProcAddress;
decltype(&GetProcAddress) __wrap___imp_GetProcAddress = [](HMODULE module, LPCSTR name) {
    if (Refuse("GetProcAddress")) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FARPROC();
    }
    const FARPROC found = __real___imp_GetProcAddress(module, name);
#define PROXY(fn, failure, error)                                                                  \
    if (std::strcmp(name, #fn) == 0) {                                                             \
        real##fn = reinterpret_cast<decltype(&fn)>(reinterpret_cast<void*>(found));                \
        return reinterpret_cast<FARPROC>(                                                          \
            reinterpret_cast<void*>(&Fallible<&real##fn, kName_##fn, failure, error>::Call));      \
    }
    if (found != nullptr && !IS_INTRESOURCE(name)) {
        FALLIBLE_LOOKED_UP(PROXY)
    }
    return found;
};

// The runtime's malloc is called through its stub, not the import: operator new comes here.
void* __real_malloc(std::size_t size);
void* __wrap_malloc(std::size_t size) {
    if (Refuse("malloc")) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_malloc(size);
}

// Counting runs from the program's entry point to the end of its process.
int WINAPI __real_wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);
int WINAPI __wrap_wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR line, int show) {
    Arm();
    const int code = __real_wWinMain(instance, previous, line, show);
    Disarm();
    return code;
}
extern decltype(&ExitProcess) __real___imp_ExitProcess;
decltype(&ExitProcess) __wrap___imp_ExitProcess = [](UINT code) {
    Disarm();
    __real___imp_ExitProcess(code);
};
}
