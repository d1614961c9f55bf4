// Linked into the fault variants of both programs (tests/CMakeLists.txt wraps every import
// that the tables below name): counts the fallible calls from the entry point on and makes
// call N fail as Windows fails it. The environment says which:
//   VANTOLINE_FAULT_AT=N             the call to fail (0: none, count only)
//   VANTOLINE_FAULT_MODE=onward      call N and every later one (otherwise call N only)
//   VANTOLINE_FAULT_STANDARD_USER=1  every key creation below HKEY_CLASSES_ROOT is denied
//   VANTOLINE_FAULT_LOG=FILE         "refused K Name" per failed call, "unshown K TEXT" per
//                                    message box that a failed call kept from the screen,
//                                    "start K" per CreateProcessW, "out-of-memory K" where the
//                                    program's own out-of-memory end begins, "calls C" at the end
// FAULT_SHIM_STARTER (the starter's variant) leaves out the rows of the DLLs that the starter
// never imports, so that its variant imports what it does: user32 only delayed, for its boxes.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <type_traits>

extern "C" decltype(&WideCharToMultiByte) __real___imp_WideCharToMultiByte;

namespace {

LONG counted = 0;
bool armed = false; // from the entry point on
long failAt = 0;
bool onward = false;
bool standardUser = false;
wchar_t logFile[MAX_PATH] = {};

// One line to the log, without allocating (the call that fails may be the memory itself) and
// without user32 (the starter loads it only for its boxes).
void Log(const char* what, long number, const char* text) {
    char line[1100], digits[24];
    std::size_t length = 0, at = sizeof digits;
    unsigned long rest = static_cast<unsigned long>(number);
    do {
        digits[--at] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (const auto& [part, size] : {std::pair<const char*, std::size_t>{what, std::strlen(what)},
                                     {" ", 1},
                                     {digits + at, sizeof digits - at},
                                     {" ", 1},
                                     {text, std::min<std::size_t>(std::strlen(text), 1000)},
                                     {"\n", 1}}) {
        std::memcpy(line + length, part, size);
        length += size;
    }
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

// The text of the message box being shown, while its MessageBoxW call runs: a call refused
// within it (the box's own, or the delayed load of user32 it needs) kept that text from the
// player.
const wchar_t* boxText = nullptr;

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
    if (refused && boxText != nullptr) {
        char text[1000] = {};
        __real___imp_WideCharToMultiByte(CP_UTF8, 0, boxText, -1, text, sizeof text - 1, nullptr,
                                         nullptr);
        std::replace_if(
            text, text + sizeof text, [](char c) { return c == '\r' || c == '\n'; }, ' ');
        Log("unshown", call, text); // on one line
    }
    return refused || denied;
}

// What a call of a given signature writes down around it: the text of a box while it is shown,
// each program start (to name the call where a start was not wanted).
struct Noted {
    template <typename... A> explicit Noted(A...) {}
    Noted(HWND, LPCWSTR text, LPCWSTR, UINT) : box(true) { boxText = text; }
    Noted(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
          LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
        Log("start", counted, "CreateProcessW");
    }
    ~Noted() { boxText = box ? nullptr : boxText; }
    Noted(const Noted&) = delete;
    Noted& operator=(const Noted&) = delete;
    bool box = false;
};

// What a call's success hands on, where the shim stands between the program and it.
template <typename R, typename... A> R Passed(R result, A...) {
    return result;
}
#ifndef FAULT_SHIM_STARTER
HRESULT Passed(HRESULT result, REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
#endif

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
        const Noted noted(args...);
        if (Refuse(Name, denied)) {
            ::SetLastError(Error);
            if constexpr (std::is_invocable_v<decltype(Failure), A...>) {
                return Failure(args...);
            } else {
                return static_cast<R>(Failure);
            }
        }
        return Passed((*Real)(args...), args...);
    }
};

// A settings file that can't be read gives the default, as a missing key does.
DWORD PlaceDefault(LPCSTR, LPCSTR, LPCSTR fallback, LPSTR buffer, DWORD size, LPCSTR) {
    const DWORD length = std::min(static_cast<DWORD>(std::strlen(fallback)), size - 1);
    std::memcpy(buffer, fallback, length);
    buffer[length] = '\0';
    return length;
}

#ifndef FAULT_SHIM_STARTER
// Stands between the program and a real IDispatch (from CoCreateInstance), so that its name
// look-ups and calls, which pass no import table, are counted and refused like the imports.
// Made outside the counted memory.
class CountedDispatch final : public IDispatch {
public:
    explicit CountedDispatch(IDispatch* real) : real_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr || (iid != IID_IUnknown && iid != IID_IDispatch)) {
            return real_->QueryInterface(iid, object);
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) {
            real_->Release();
            this->~CountedDispatch();
            ::HeapFree(::GetProcessHeap(), 0, this);
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return real_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return real_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        if (Refuse("IDispatch::GetIDsOfNames")) {
            return E_OUTOFMEMORY;
        }
        return real_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    // Refused as WScript.Shell refuses a registry access: an exception with the system's code.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        if (Refuse("IDispatch::Invoke")) {
            if (exception != nullptr) {
                *exception = EXCEPINFO{};
                exception->scode = E_ACCESSDENIED;
            }
            return DISP_E_EXCEPTION;
        }
        return real_->Invoke(id, iid, locale, flags, params, result, exception, argumentError);
    }

private:
    ~CountedDispatch() = default;
    IDispatch* real_;
    LONG references_ = 1;
};

HRESULT Passed(HRESULT result, REFCLSID, LPUNKNOWN, DWORD, REFIID iid, LPVOID* object) {
    void* memory = nullptr;
    if (SUCCEEDED(result) && iid == IID_IDispatch &&
        (memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(CountedDispatch))) != nullptr) {
        *object =
            static_cast<IDispatch*>(new (memory) CountedDispatch(static_cast<IDispatch*>(*object)));
    }
    return result;
}
#endif

} // namespace

// Name, failure result (or what makes it), last error, denied to a standard user below
// HKEY_CLASSES_ROOT. The delay-load helper loads the starter's user32 with LoadLibraryA.
#define FALLIBLE_IMPORTS(X)                                                                        \
    X(RegCreateKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, true)                             \
    X(RegOpenKeyExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                            \
    X(RegSetValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false)                             \
    X(RegQueryValueExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                         \
    X(GetPrivateProfileStringA, &PlaceDefault, ERROR_FILE_NOT_FOUND, false)                        \
    X(WritePrivateProfileStringA, FALSE, ERROR_ACCESS_DENIED, false)                               \
    X(GetUserNameA, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                                         \
    X(LoadLibraryExW, nullptr, ERROR_MOD_NOT_FOUND, false)                                         \
    X(LoadLibraryA, nullptr, ERROR_MOD_NOT_FOUND, false)                                           \
    X(MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                              \
    X(SetWindowsHookExW, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)                                  \
    X(SetTimer, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                                 \
    X(CreateProcessW, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                                       \
    X(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                       \
    X(GetFileAttributesExW, FALSE, ERROR_FILE_NOT_FOUND, false)                                    \
    X(OpenMutexW, nullptr, ERROR_FILE_NOT_FOUND, false)                                            \
    X(GetShortPathNameW, 0, ERROR_FILE_NOT_FOUND, false)                                           \
    X(WideCharToMultiByte, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                      \
    X(MultiByteToWideChar, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                      \
    X(FormatMessageW, 0, ERROR_NOT_ENOUGH_MEMORY, false)
// The tool's only: COM, GDI and user32 beside the starter's delayed MessageBoxW.
#ifdef FAULT_SHIM_STARTER
#define FALLIBLE_TOOL_IMPORTS(X)
#else
#define FALLIBLE_TOOL_IMPORTS(X)                                                                   \
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
    X(LoadImageW, nullptr, ERROR_NOT_ENOUGH_MEMORY, false)
#endif
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
FALLIBLE_TOOL_IMPORTS(DEFINE_IMPORT)

#define DEFINE_LOOKED_UP(name, failure, error)                                                     \
    decltype(&name) real##name = nullptr;                                                          \
    constexpr char kName_##name[] = #name;
namespace {
FALLIBLE_LOOKED_UP(DEFINE_LOOKED_UP)
// The program's own out-of-memory end (its new handler, from std::set_new_handler).
std::new_handler outOfMemoryEnd = nullptr;
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

// The program's new handler, as it sets it (std::set_new_handler), noted where it is called.
std::new_handler __real__ZSt15set_new_handlerPFvvE(std::new_handler handler);
std::new_handler __wrap__ZSt15set_new_handlerPFvvE(std::new_handler handler) {
    const std::new_handler previous = outOfMemoryEnd;
    outOfMemoryEnd = handler;
    const std::new_handler noted = [] {
        Log("out-of-memory", counted, "");
        outOfMemoryEnd();
    };
    __real__ZSt15set_new_handlerPFvvE(handler == nullptr ? nullptr : noted);
    return previous;
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
