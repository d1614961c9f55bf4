// The owner template: whichever way a value travels, it is released exactly once, and the
// kind's "none" never.
#include "platform/owned.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace platform {
namespace {

std::vector<int> released;

void Release(int value) {
    released.push_back(value);
}

int MinusOne() {
    return -1;
}

// A kind whose "none" is not the null value: 0 is a value like any other here, as a file
// handle's 0 is where INVALID_HANDLE_VALUE means none.
using OwnedNumber = Owned<int, &Release, &MinusOne>;

TEST(Owned, ReleasesEachValueOnceWhereverItGoes) {
    released.clear();
    {
        OwnedNumber first(0);
        OwnedNumber second(std::move(first)); // first owns nothing now
        EXPECT_FALSE(first);
        EXPECT_TRUE(second);
        OwnedNumber third(2);
        third = std::move(second); // releases 2, takes 0
        OwnedNumber given(3);
        EXPECT_EQ(given.release(), 3); // given up, not released
        EXPECT_FALSE(given);
        OwnedNumber filled;
        *filled.put() = 4;
        *filled.put() = 5; // a second fill releases the first
        filled.reset(6);
        EXPECT_EQ(released, (std::vector<int>{2, 4, 5}));
    }
    EXPECT_EQ(released, (std::vector<int>{2, 4, 5, 6, 0}));
}

void ReleasePointer(int* value) {
    released.push_back(*value);
}

TEST(Owned, NullIsNoneByDefault) {
    released.clear();
    int seven = 7;
    {
        Owned<int*, &ReleasePointer> nothing;
        EXPECT_FALSE(nothing);
        EXPECT_EQ(nothing.get(), nullptr);
        nothing.reset(nullptr);
        Owned<int*, &ReleasePointer> something(&seven);
        EXPECT_TRUE(something);
    }
    EXPECT_EQ(released, std::vector<int>{7});
}

} // namespace
} // namespace platform
