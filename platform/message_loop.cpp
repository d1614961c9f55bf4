// The thread's message loop and the message boxes of the forms.
#include "window.h"

#include "error_text.h"
#include "form_window.h"

namespace platform {

MessageAnswer ShowMessage(const Window* owner, const std::wstring& text, const std::wstring& title,
                          MessageButtons buttons, MessageIcon icon) {
    return ShowMessageBox(owner != nullptr ? owner->NativeHandle() : nullptr, text, title, buttons,
                          icon);
}

bool EndIfNotCreated(const Window& window, const std::wstring& title) {
    if (window.NativeHandle() != nullptr) {
        return false;
    }
    ShowMessageBox(nullptr, ErrorText(window.CreationError()), title, MessageButtons::Ok,
                   MessageIcon::Error);
    EndMessageLoop(1);
    return true;
}

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, arrow keys, Enter and Escape move, press and close as in a dialog, in every
        // form.
        HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr && IsFormWindow(root) && ::IsDialogMessageW(root, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void EndMessageLoop(int exitCode) {
    ::PostQuitMessage(exitCode);
}

} // namespace platform
