// The system's own words for an error code, for the messages that tell the user why.
#pragma once

#include "error_code.h"

#include <string>

namespace platform {

// FormatMessage of a system error code, without the line break it ends in; the code in
// numbers where the system has no text for it.
std::wstring ErrorText(ErrorCode errorCode);

} // namespace platform
