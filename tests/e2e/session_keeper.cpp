// Keeps a Wine prefix's on-demand helpers running for a whole test run: the desktop process
// (explorer.exe /desktop, started by the first window) and the COM service (rpcss.exe, started
// by the first call into the running object table). A test program that starts one of them
// hands it its own standard error, ctest's pipe, and ctest then waits for the helper to end,
// 15-20 s after the test's last window. Started once per prefix with every output away from any
// pipe, the keeper owns them instead.
//
//   session_keeper.exe          starts the keeper in the background and returns once it holds
//                               both helpers (exit code 0), at once when a keeper already runs
//                               in the prefix; else with the keeper's exit code, or 1 after 60 s
//   session_keeper.exe --serve  the keeper itself; ends with `wineserver -k` or --stop, or at
//                               once with 2 (no window), 3 (no COM) or 4 (no COM service)
//   session_keeper.exe --stop   ends the prefix's keeper
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kReadyEvent[] = L"Local\\VantolineSessionKeeperReady";
constexpr wchar_t kStopEvent[] = L"Local\\VantolineSessionKeeperStop";
constexpr wchar_t kWindowClass[] = L"VantolineSessionKeeper";
constexpr DWORD kStartTimeoutMs = 60000;

class Handle {
public:
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
        }
    }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

template <typename T> class Com {
public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }
    T* get() const noexcept { return object_; }
    T** put() noexcept { return &object_; }

private:
    T* object_ = nullptr;
};

class Apartment {
public:
    Apartment() noexcept : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (ok_) {
            ::CoUninitialize();
        }
    }
    bool ok() const noexcept { return ok_; }

private:
    bool ok_;
};

// An entry in the running object table, which lives in rpcss.exe: the table keeps the
// service busy, so it does not end while the keeper runs.
class TableEntry {
public:
    TableEntry() {
        if (FAILED(::GetRunningObjectTable(0, table_.put())) ||
            FAILED(::CreateItemMoniker(L"!", kWindowClass, name_.put())) ||
            FAILED(table_.get()->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, name_.get(), name_.get(),
                                          &cookie_))) {
            cookie_ = 0;
        }
    }
    TableEntry(const TableEntry&) = delete;
    TableEntry& operator=(const TableEntry&) = delete;
    ~TableEntry() {
        if (cookie_ != 0) {
            table_.get()->Revoke(cookie_);
        }
    }
    bool ok() const noexcept { return cookie_ != 0; }

private:
    Com<IRunningObjectTable> table_;
    Com<IMoniker> name_;
    DWORD cookie_ = 0;
};

// A top-level window that is never shown: enough for the desktop process to start and stay.
class HiddenWindow {
public:
    explicit HiddenWindow(HINSTANCE instance) {
        WNDCLASSW type{};
        type.lpfnWndProc = ::DefWindowProcW;
        type.hInstance = instance;
        type.lpszClassName = kWindowClass;
        if (::RegisterClassW(&type) != 0) {
            window_ = ::CreateWindowExW(0, kWindowClass, kWindowClass, WS_OVERLAPPED, 0, 0, 1, 1,
                                        nullptr, nullptr, instance, nullptr);
        }
    }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    ~HiddenWindow() {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }
    bool ok() const noexcept { return window_ != nullptr; }

private:
    HWND window_ = nullptr;
};

int Serve(HINSTANCE instance) {
    const Handle ready(::CreateEventW(nullptr, TRUE, FALSE, kReadyEvent));
    const Handle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    if (ready.get() == nullptr || stop.get() == nullptr) {
        return 1;
    }
    const HiddenWindow window(instance);
    const Apartment apartment;
    if (!window.ok() || !apartment.ok()) {
        return window.ok() ? 3 : 2;
    }
    const TableEntry entry;
    if (!entry.ok()) {
        return 4;
    }
    ::SetEvent(ready.get());
    // Answers messages while it waits: a program that broadcasts to every top-level window
    // would otherwise wait for this one.
    const HANDLE stopped = stop.get();
    for (;;) {
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &stopped, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) {
            return woke == WAIT_OBJECT_0 ? 0 : 1;
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return 0;
            }
            ::DispatchMessageW(&message);
        }
    }
}

bool AlreadyReady() {
    const Handle ready(::OpenEventW(SYNCHRONIZE, FALSE, kReadyEvent));
    return ready.get() != nullptr && ::WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0;
}

int Start() {
    if (AlreadyReady()) {
        return 0;
    }
    // Created here, so that this process can wait for it before the keeper opens it.
    const Handle ready(::CreateEventW(nullptr, TRUE, FALSE, kReadyEvent));
    if (ready.get() == nullptr) {
        return 1;
    }
    wchar_t exe[MAX_PATH] = {};
    if (::GetModuleFileNameW(nullptr, exe, MAX_PATH) == MAX_PATH) {
        return 1;
    }
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --serve";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        return 1;
    }
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    const HANDLE waits[] = {ready.get(), process.get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, kStartTimeoutMs);
    if (woke == WAIT_OBJECT_0) {
        return 0;
    }
    // The keeper ending first means it could not take over the helpers; it says why.
    DWORD code = 1;
    if (woke != WAIT_OBJECT_0 + 1 || !::GetExitCodeProcess(process.get(), &code)) {
        code = 1;
    }
    return static_cast<int>(code);
}

int Stop() {
    const Handle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEvent));
    return stop.get() != nullptr && ::SetEvent(stop.get()) ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    if (std::wcscmp(arguments, L"--serve") == 0) {
        return Serve(instance);
    }
    if (std::wcscmp(arguments, L"--stop") == 0) {
        return Stop();
    }
    return Start();
}
