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

// A question that another program or a web page makes appear, with OK and Cancel and no icon:
// its OK takes no press for kAnswerDelay (answer_delay.h) after the box is shown and after each
// time it comes back to the front, and shows greyed meanwhile, with the focus where it was.
// Enter, Space or a click on OK in that time do nothing and are not kept for later; Escape,
// Cancel and the close box work at once. Where Windows refuses the hook this needs, the box
// comes without the delay.
MessageAnswer AskWithDelayedOk(const std::wstring& text, const std::wstring& title);

} // namespace platform
