// The system's error code of an action that failed, as the platform layer returns it where the
// user is told why (see README.md: how a function says it failed).
#pragma once

#include <cstdint>

namespace platform {

// GetLastError's or a registry call's code; kDone where the action succeeded. ErrorText
// (error_text.h) gives the system's words for it.
using ErrorCode = std::uint32_t;
inline constexpr ErrorCode kDone = 0;
inline constexpr ErrorCode kPathNotFound = 3; // ERROR_PATH_NOT_FOUND

} // namespace platform
