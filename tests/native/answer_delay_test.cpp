// The question's first second: how long OK still waits, from when the box last came to the
// front.
#include "platform/answer_delay.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace platform {
namespace {

TEST(AnswerDelay, OkWaitsASecondFromEachActivation) {
    constexpr std::uint64_t kShown = 5'000'000;
    const struct {
        std::uint64_t activatedAt, now;
        long long left;
    } cases[] = {
        {kShown, kShown, 1000},                  // as it appears
        {kShown, kShown + 999, 1},               // not a moment early
        {kShown, kShown + 1000, 0},              // then it takes a press
        {kShown, kShown + 60'000, 0},            // and goes on taking it
        {kShown + 60'000, kShown + 60'400, 600}, // back in front: from then on
        {kShown, kShown - 10, 1000},             // a clock that seems to go back: as just shown
        {~std::uint64_t{0} - 5, ~std::uint64_t{0}, 995},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnswerDelayLeft(c.activatedAt, c.now).count(), c.left)
            << c.activatedAt << " " << c.now;
    }
}

} // namespace
} // namespace platform
