#include "answer_delay.h"

namespace platform {

std::chrono::milliseconds AnswerDelayLeft(std::uint64_t activatedAt, std::uint64_t now) {
    const std::uint64_t delay = static_cast<std::uint64_t>(kAnswerDelay.count());
    const std::uint64_t passed = now >= activatedAt ? now - activatedAt : 0;
    return std::chrono::milliseconds(passed >= delay ? 0 : delay - passed);
}

} // namespace platform
