// A clock for tests: time moves only when somebody sleeps. Callbacks scheduled for a
// virtual moment run exactly then, on the sleeping thread, so a simulated device can act
// at precise times and a 30-second wait takes microseconds. Single-threaded by design.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/Clock.h"

namespace norvane {

class VirtualClock final : public Clock {
public:
    // `startTick` is the tick count at virtual time zero (tests of wrap-around start near 2^32).
    explicit VirtualClock(uint32_t startTick = 0) : startTick_(startTick) {}

    uint32_t TickCount() override;
    // Advances time by `milliseconds`, running every callback that falls due on the way.
    void Sleep(uint32_t milliseconds) override;

    // Virtual time since construction, in microseconds; never wraps.
    uint64_t NowMicros() const override { return nowMicros_; }
    void SleepUntilMicros(uint64_t moment) override { AdvanceToMicros(moment); }
    uint64_t NowMillis() const { return nowMicros_ / 1000; }

    // Runs `action` when virtual time reaches `atMicros` (at once on the next advance if that
    // moment has passed). Actions due at the same moment run in the order they were scheduled.
    void AtMicros(uint64_t atMicros, std::function<void()> action);
    void AfterMicros(uint64_t delayMicros, std::function<void()> action) {
        AtMicros(nowMicros_ + delayMicros, std::move(action));
    }
    void AfterMillis(uint64_t delayMillis, std::function<void()> action) {
        AfterMicros(delayMillis * 1000, std::move(action));
    }

    // Advances time to `atMicros` (no-op when already past), running what falls due.
    void AdvanceToMicros(uint64_t atMicros);
    // Drops every scheduled callback.
    void Clear() { pending_.clear(); }
    size_t PendingCount() const { return pending_.size(); }

private:
    uint32_t startTick_;
    uint64_t nowMicros_ = 0;
    uint64_t sequence_ = 0;
    std::map<std::pair<uint64_t, uint64_t>, std::function<void()>> pending_;
};

}  // namespace norvane
