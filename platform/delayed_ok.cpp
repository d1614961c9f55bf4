#include "message_box.h"

#include "answer_delay.h"
#include "win_owned.h"

#include <cstdint>
#include <string_view>

namespace platform {
namespace {

constexpr UINT_PTR kOkReadyTimer = 1;

// The box whose OK waits, while MessageBoxW shows it: one at a time, on the programs' one
// thread of windows. Not thread_local: MinGW's emulated TLS allocates at the first access, and
// that allocation may fail.
struct DelayedOk {
    OwnedHook hook; // until the box is found
    WNDPROC boxProcedure = nullptr;
    std::uint64_t activatedAt = 0;
    bool waiting = false; // until the timer that ends the wait fires
    bool greyed = false;  // OK, while that timer runs
};
DelayedOk* delayed = nullptr;

// Greyed by its style, not EnableWindow: that would take the focus from OK, and with no focus
// Escape no longer reaches the box.
void ShowOkWaiting(HWND box, bool waiting) {
    const HWND ok = ::GetDlgItem(box, IDOK);
    if (ok == nullptr) {
        return;
    }
    const LONG_PTR style = ::GetWindowLongPtrW(ok, GWL_STYLE);
    const LONG_PTR wanted = waiting ? style | WS_DISABLED : style & ~LONG_PTR{WS_DISABLED};
    if (wanted != style) {
        ::SetWindowLongPtrW(ok, GWL_STYLE, wanted);
        ::InvalidateRect(ok, nullptr, TRUE);
    }
}

bool OkTakesPress(const DelayedOk& state) {
    return !state.waiting || AnswerDelayLeft(state.activatedAt, ::GetTickCount64()).count() == 0;
}

// Ends the wait's timer, and OK's grey with it.
void StopTimer(HWND box, DelayedOk& state) {
    if (state.greyed) {
        ::KillTimer(box, kOkReadyTimer);
        ShowOkWaiting(box, false);
        state.greyed = false;
    }
}

// The wait starts when the box is shown and again whenever it comes back to the front. Where
// the timer can't be set, OK isn't greyed but still takes no press until the time is over.
// Every user32 function the box needs is called here first, before any answer: after OK,
// nothing new may have to be loaded, which could fail.
void StartWaiting(HWND box, DelayedOk& state) {
    ::KillTimer(box, kOkReadyTimer); // the timer of an earlier wait
    state.activatedAt = ::GetTickCount64();
    state.waiting = true;
    state.greyed =
        ::SetTimer(box, kOkReadyTimer, static_cast<UINT>(kAnswerDelay.count()), nullptr) != 0;
    if (state.greyed) {
        ShowOkWaiting(box, true);
    }
}

LRESULT CALLBACK DelayedOkProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    DelayedOk& state = *delayed;
    const WNDPROC next = state.boxProcedure;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && !OkTakesPress(state)) {
            return 0; // dropped, not kept for later
        }
        break;
    case WM_TIMER:
        if (wParam == kOkReadyTimer) {
            StopTimer(box, state);
            state.waiting = false;
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            // OK takes the focus back when the box is activated again, which a greyed OK can't.
            StopTimer(box, state);
        } else {
            const LRESULT result = ::CallWindowProcW(next, box, message, wParam, lParam);
            StartWaiting(box, state);
            return result;
        }
        break;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        break;
    }
    return ::CallWindowProcW(next, box, message, wParam, lParam);
}

// The box's window, as it is about to be activated for the first time: from then on its
// messages pass DelayedOkProcedure first.
LRESULT CALLBACK OnBoxActivation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && delayed != nullptr && delayed->boxProcedure == nullptr) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[8] = {};
        if (::GetClassNameW(window, className, 8) == 6 &&
            std::wstring_view(className) == L"#32770") {
            const auto previous = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
                window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DelayedOkProcedure)));
            if (previous != nullptr) {
                delayed->boxProcedure = previous;
                // Counted from here too, should no activation follow.
                delayed->activatedAt = ::GetTickCount64();
                delayed->waiting = true;
            }
            // Done with, and unhooked now: after OK the starter calls into user32 for nothing
            // new, whose first call could still fail to load.
            delayed->hook.reset();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

MessageAnswer AskWithDelayedOk(const std::wstring& text, const std::wstring& title) {
    DelayedOk state;
    delayed = &state;
    state.hook.reset(
        ::SetWindowsHookExW(WH_CBT, &OnBoxActivation, nullptr, ::GetCurrentThreadId()));
    const MessageAnswer answer =
        ShowMessageBox(nullptr, text, title, MessageButtons::OkCancel, MessageIcon::None);
    delayed = nullptr;
    return answer;
}

} // namespace platform
