#include "message_box.h"

#include <windows.h>

namespace platform {

MessageAnswer ShowMessageBox(void* ownerWindow, const std::wstring& text, const std::wstring& title,
                             MessageButtons buttons, MessageIcon icon) {
    UINT flags = buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
    if (icon == MessageIcon::Error) {
        flags |= MB_ICONERROR;
    }
    const int answer =
        ::MessageBoxW(static_cast<HWND>(ownerWindow), text.c_str(), title.c_str(), flags);
    return answer == IDOK ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

} // namespace platform
