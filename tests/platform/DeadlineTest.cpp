#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane {
namespace {

TEST(DeadlineReached, PlainOrder) {
    EXPECT_FALSE(DeadlineReached(99, 100));
    EXPECT_TRUE(DeadlineReached(100, 100));
    EXPECT_TRUE(DeadlineReached(101, 100));
}

TEST(DeadlineReached, AcrossTheWrap) {
    const uint32_t deadline = 0xFFFFFFF0u + 50;  // wraps to 0x22
    EXPECT_EQ(deadline, 0x22u);
    EXPECT_FALSE(DeadlineReached(0xFFFFFFF0u, deadline));
    EXPECT_FALSE(DeadlineReached(0xFFFFFFFFu, deadline));
    EXPECT_FALSE(DeadlineReached(0x21u, deadline));
    EXPECT_TRUE(DeadlineReached(0x22u, deadline));
    EXPECT_TRUE(DeadlineReached(0x30u, deadline));
    // a deadline just before the wrap, reached just after it
    EXPECT_TRUE(DeadlineReached(0x5u, 0xFFFFFFFAu));
}

TEST(DeadlineReached, HalfTheRangeIsTheHorizon) {
    EXPECT_TRUE(DeadlineReached(0x7FFFFFFFu, 0));   // 2^31 - 1 behind: reached
    EXPECT_FALSE(DeadlineReached(0x80000000u, 0));  // 2^31 behind: counts as ahead
    EXPECT_FALSE(DeadlineReached(0, 0x7FFFFFFFu));
}

TEST(DeadlineReached, WaitLoopOnVirtualClockEndsOnTimeAcrossTheWrap) {
    VirtualClock clock(0xFFFFFF00u);
    const uint32_t deadline = clock.TickCount() + 1000;
    int sleeps = 0;
    while (!DeadlineReached(clock.TickCount(), deadline)) {
        clock.Sleep(1);
        ++sleeps;
    }
    EXPECT_EQ(sleeps, 1000);
}

}  // namespace
}  // namespace norvane
