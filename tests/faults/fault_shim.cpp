// Linked into the fault variants of both programs (tests/CMakeLists.txt): every fallible call
// that the program makes through its import table is counted from its entry point on, and
// call N fails as Windows fails it. The environment says which:
//   VANTOLINE_FAULT_AT=N             the call to fail (none: count only)
//   VANTOLINE_FAULT_MODE=onward      call N and every later one (otherwise call N only)
//   VANTOLINE_FAULT_STANDARD_USER=1  every key creation below HKEY_CLASSES_ROOT is denied
//   VANTOLINE_FAULT_LOG=FILE         gets "refused K Name" per failed call, "calls C" at the end
#include <windows.h>
#include <oaidl.h>
#include <objbase.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

extern "C" decltype(&WideCharToMultiByte) __real___imp_WideCharToMultiByte;

namespace {

LONG counted = 0;
bool armed = false; // from the entry point on
bool configured = false;
long failAt = 0;
bool onward = false;
bool standardUser = false;
wchar_t logFile[MAX_PATH] = {};

// Without allocating: the call to fail may be the memory itself.
void Log(const char* what, long number, const char* name) {
    char line[2200];
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0 && n < 23);
    std::size_t at = 0;
    auto put = [&](const char* text) {
        while (*text != '\0' && at < sizeof line - 2) {
            line[at++] = *text++;
        }
    };
    put(what);
    put(" ");
    while (n > 0 && at < sizeof line - 2) {
        line[at++] = digits[--n];
    }
    put(*name != '\0' ? " " : "");
    put(name);
    line[at++] = '\n';
    HANDLE file = ::CreateFileW(logFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, line, static_cast<DWORD>(at), &written, nullptr);
        ::CloseHandle(file);
    }
}

long EnvironmentNumber(const wchar_t* name) {
    wchar_t text[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, text, 32);
    return length > 0 && length < 32 ? std::wcstol(text, nullptr, 10) : 0;
}

void Configure() {
    if (configured) {
        return;
    }
    configured = true;
    failAt = EnvironmentNumber(L"VANTOLINE_FAULT_AT");
    wchar_t mode[16] = {};
    onward = ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_MODE", mode, 16) > 0 &&
             std::wcscmp(mode, L"onward") == 0;
    standardUser = EnvironmentNumber(L"VANTOLINE_FAULT_STANDARD_USER") == 1;
    ::GetEnvironmentVariableW(L"VANTOLINE_FAULT_LOG", logFile, MAX_PATH);
}

// Counts one fallible call; true when it is to fail. Denied: a standard user's refusal.
bool Refuse(const char* name, bool denied = false) {
    if (!armed) {
        return false;
    }
    Configure();
    const long call = ::InterlockedIncrement(&counted);
    const bool refused = failAt > 0 && (call == failAt || (onward && call > failAt));
    if (refused || denied) {
        Log(refused ? "refused" : "denied", call, name);
    }
    return refused || denied;
}

// What the driver checks beyond the failures: every program that is started, as asked for.
template <typename... A> void Note(A...) {}
void Note(LPCWSTR, LPWSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
          LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    char text[2048] = {};
    __real___imp_WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text - 1, nullptr, nullptr);
    Log("start", counted, text);
}

// One wrapper per function: Name's own signature, its failure result and last error. A
// standard user's denial applies where Denies is set (the first argument is the root key).
template <auto* Real, const char* Name, auto Failure, DWORD Error, bool Denies = false>
struct Fallible;
template <typename R, typename... A, R (**Real)(A...), const char* Name, auto Failure, DWORD Error,
          bool Denies>
struct Fallible<Real, Name, Failure, Error, Denies> {
    static R Call(A... args) {
        bool denied = false;
        if constexpr (Denies) {
            denied =
                standardUser && [](HKEY key, auto...) { return key == HKEY_CLASSES_ROOT; }(args...);
        }
        Note(args...);
        if (Refuse(Name, denied)) {
            ::SetLastError(Error);
            return static_cast<R>(Failure);
        }
        return (*Real)(args...);
    }
};

} // namespace

// Name, failure result, last error, denied to a standard user below HKEY_CLASSES_ROOT.
#define FALLIBLE_IMPORTS(X)                                                                        \
    X(RegCreateKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, true)                             \
    X(RegOpenKeyExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                            \
    X(RegSetValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false)                             \
    X(RegQueryValueExA, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, false)                         \
    X(WritePrivateProfileStringA, FALSE, ERROR_ACCESS_DENIED, false)                               \
    X(GetUserNameA, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                                         \
    X(CoInitializeEx, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY, false)                               \
    X(CLSIDFromProgID, CO_E_CLASSSTRING, ERROR_FILE_NOT_FOUND, false)                              \
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
// Found with GetProcAddress: the wrapped GetProcAddress hands out these in their place.
#define FALLIBLE_LOOKED_UP(P)                                                                      \
    P(GetDpiForWindow, 0, ERROR_INVALID_HANDLE, false)                                             \
    P(GetDpiForSystem, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                          \
    P(GetSystemMetricsForDpi, 0, ERROR_NOT_ENOUGH_MEMORY, false)                                   \
    P(AdjustWindowRectExForDpi, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)                             \
    P(SystemParametersInfoForDpi, FALSE, ERROR_NOT_ENOUGH_MEMORY, false)

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

#define DEFINE_LOOKED_UP(name, failure, error, denies)                                             \
    decltype(&name) real##name = nullptr;                                                          \
    constexpr char kName_##name[] = #name;
namespace {
FALLIBLE_LOOKED_UP(DEFINE_LOOKED_UP)
constexpr char kGetProcAddress[] = "GetProcAddress";
constexpr char kCoCreateInstance[] = "CoCreateInstance";

FARPROC WINAPI LookUp(HMODULE module, LPCSTR name);
HRESULT WINAPI CreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                              LPVOID* object);
void LogCalls();
} // namespace

extern "C" decltype(&GetProcAddress) __real___imp_GetProcAddress;
extern "C" {
decltype(&GetProcAddress) __wrap___imp_GetProcAddress = LookUp;
decltype(&CoCreateInstance) __wrap___imp_CoCreateInstance = CreateInstance;
}
extern "C" decltype(&CoCreateInstance) __real___imp_CoCreateInstance;

// The runtime's malloc is no import of the program's own but a call of its stub: operator new
// comes here (and throws std::bad_alloc where this fails).
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
    if (Refuse("malloc")) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_malloc(size);
}

// Counting starts at the program's entry point and ends with the process.
extern "C" int WINAPI __real_wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);
extern "C" int WINAPI __wrap_wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR line,
                                      int show) {
    armed = true;
    const int code = __real_wWinMain(instance, previous, line, show);
    LogCalls();
    return code;
}
extern "C" decltype(&ExitProcess) __real___imp_ExitProcess;
extern "C" {
decltype(&ExitProcess) __wrap___imp_ExitProcess = [](UINT code) {
    LogCalls();
    __real___imp_ExitProcess(code);
};
}

namespace {

void LogCalls() {
    if (armed) {
        Configure();
        Log("calls", counted, "");
        armed = false;
    }
}

FARPROC WINAPI LookUp(HMODULE module, LPCSTR name) {
    if (Refuse(kGetProcAddress)) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const FARPROC found = __real___imp_GetProcAddress(module, name);
#define PROXY(fn, failure, error, denies)                                                          \
    if (std::strcmp(name, #fn) == 0) {                                                             \
        real##fn = reinterpret_cast<decltype(&fn)>(reinterpret_cast<void*>(found));                \
        return reinterpret_cast<FARPROC>(                                                          \
            reinterpret_cast<void*>(&Fallible<&real##fn, kName_##fn, failure, error>::Call));      \
    }
    if (found != nullptr && !IS_INTRESOURCE(name)) {
        FALLIBLE_LOOKED_UP(PROXY)
    }
    return found;
}

// WScript.Shell's methods are called by name, through IDispatch: a proxy makes them fallible.
class FallibleDispatch final : public IDispatch {
public:
    explicit FallibleDispatch(IDispatch* real) : real_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) {
            return real_->QueryInterface(iid, object);
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--references_ > 0) {
            return references_;
        }
        real_->Release();
        this->~FallibleDispatch();
        ::HeapFree(::GetProcessHeap(), 0, this);
        return 0;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return real_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return real_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return Refuse("IDispatch::GetIDsOfNames")
                   ? E_OUTOFMEMORY
                   : real_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return Refuse("IDispatch::Invoke")
                   ? DISP_E_EXCEPTION
                   : real_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }

private:
    IDispatch* real_;
    ULONG references_ = 1;
};

HRESULT WINAPI CreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                              LPVOID* object) {
    if (Refuse(kCoCreateInstance)) {
        *object = nullptr;
        return E_OUTOFMEMORY;
    }
    const HRESULT result = __real___imp_CoCreateInstance(clsid, outer, context, iid, object);
    if (SUCCEEDED(result) && iid == IID_IDispatch) {
        void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(FallibleDispatch));
        if (memory != nullptr) { // the shim's own memory: never a counted call
            *object = new (memory) FallibleDispatch(static_cast<IDispatch*>(*object));
        }
    }
    return result;
}

} // namespace
