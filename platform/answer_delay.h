// How long a question ignores its accepting button after it comes to the front. A web page or
// another program decides when such a question appears, so a key or a click meant for the
// window the player was using could otherwise answer it unread. Portable: native tests cover
// it.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

inline constexpr std::chrono::milliseconds kAnswerDelay{1000};

// The time left before the accepting button takes a press, for a box that last came to the
// front (was shown, or activated again) at activatedAt; zero once that is kAnswerDelay ago.
// Both times are milliseconds of one steady clock (GetTickCount64); a clock that seems to go
// back counts as a box that came to the front just now.
std::chrono::milliseconds AnswerDelayLeft(std::uint64_t activatedAt, std::uint64_t now);

} // namespace platform
