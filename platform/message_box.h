// Modal message boxes. Kept apart from the windows of window.h, so that a program that shows
// nothing but a box doesn't carry the window layer and the DLLs it needs.
#pragma once

#include <string>

namespace platform {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Error };
enum class MessageAnswer { Ok, Cancel };

// A modal message box owned by the window with this native handle, or by none (null). Closing
// the box counts as Cancel.
MessageAnswer ShowMessageBox(void* ownerWindow, const std::wstring& text, const std::wstring& title,
                             MessageButtons buttons, MessageIcon icon);

} // namespace platform
