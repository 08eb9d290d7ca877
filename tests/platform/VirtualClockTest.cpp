#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/virtualtime/VirtualClock.h"

namespace norvane {
namespace {

TEST(VirtualClock, TimeAdvancesOnlyBySleeping) {
    VirtualClock clock(1000);
    EXPECT_EQ(clock.TickCount(), 1000u);
    EXPECT_EQ(clock.TickCount(), 1000u);
    EXPECT_EQ(clock.NowMicros(), 0u);
    clock.Sleep(1);
    EXPECT_EQ(clock.TickCount(), 1001u);
    clock.Sleep(30000);
    EXPECT_EQ(clock.TickCount(), 31001u);
    EXPECT_EQ(clock.NowMillis(), 30001u);
    clock.Sleep(0);
    EXPECT_EQ(clock.NowMillis(), 30001u);
}

TEST(VirtualClock, CallbacksRunAtTheirExactTimes) {
    VirtualClock clock;
    std::vector<uint64_t> seen;
    clock.AtMicros(2500, [&] { seen.push_back(clock.NowMicros()); });
    clock.AfterMillis(1, [&] { seen.push_back(clock.NowMicros()); });
    clock.AtMicros(7000, [&] { seen.push_back(clock.NowMicros()); });
    clock.Sleep(2);
    EXPECT_EQ(seen, (std::vector<uint64_t>{1000}));
    clock.Sleep(1);
    EXPECT_EQ(seen, (std::vector<uint64_t>{1000, 2500}));
    EXPECT_EQ(clock.NowMicros(), 3000u);  // after the callbacks, time reaches the sleep's end
    EXPECT_EQ(clock.PendingCount(), 1u);
    clock.AdvanceToMicros(7000);
    EXPECT_EQ(seen, (std::vector<uint64_t>{1000, 2500, 7000}));
    EXPECT_EQ(clock.PendingCount(), 0u);
}

TEST(VirtualClock, SameMomentRunsInSchedulingOrder) {
    VirtualClock clock;
    std::string order;
    clock.AtMicros(500, [&] { order += 'a'; });
    clock.AtMicros(100, [&] { order += 'x'; });
    clock.AtMicros(500, [&] { order += 'b'; });
    clock.AtMicros(500, [&] { order += 'c'; });
    clock.Sleep(1);
    EXPECT_EQ(order, "xabc");
}

TEST(VirtualClock, CallbackMayScheduleAnotherForTheSameMoment) {
    VirtualClock clock;
    std::string order;
    clock.AtMicros(400, [&] {
        order += 'a';
        clock.AfterMicros(0, [&] {
            order += 'c';
            EXPECT_EQ(clock.NowMicros(), 400u);
        });
    });
    clock.AtMicros(400, [&] { order += 'b'; });
    clock.Sleep(1);
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(clock.PendingCount(), 0u);
}

TEST(VirtualClock, PastMomentRunsOnTheNextAdvanceWithoutGoingBack) {
    VirtualClock clock;
    clock.Sleep(5);
    uint64_t ranAt = 0;
    clock.AtMicros(1000, [&] { ranAt = clock.NowMicros(); });
    clock.AdvanceToMicros(2000);  // already past: no-op for time, but runs what is due
    EXPECT_EQ(ranAt, 5000u);
    EXPECT_EQ(clock.NowMicros(), 5000u);
}

TEST(VirtualClock, ClearDropsPendingCallbacks) {
    VirtualClock clock;
    bool ran = false;
    clock.AfterMillis(1, [&] { ran = true; });
    clock.Clear();
    clock.Sleep(10);
    EXPECT_FALSE(ran);
}

TEST(VirtualClock, TickCountWrapsFromAStartNear2To32) {
    VirtualClock clock(0xFFFFFFF0u);
    EXPECT_EQ(clock.TickCount(), 0xFFFFFFF0u);
    clock.Sleep(0x0F);
    EXPECT_EQ(clock.TickCount(), 0xFFFFFFFFu);
    clock.Sleep(1);
    EXPECT_EQ(clock.TickCount(), 0u);
    clock.Sleep(100);
    EXPECT_EQ(clock.TickCount(), 100u);
    EXPECT_EQ(clock.NowMillis(), 0x10u + 100u);  // virtual time itself never wraps
}

}  // namespace
}  // namespace norvane
