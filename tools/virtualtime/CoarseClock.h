// A clock over another whose every sleep lasts a whole number of timer ticks, at least one:
// Sleep on Windows at the system's default timer resolution (15.625 ms), for tests and
// benchmarks that show a run does not depend on the timer.
#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace norvane {

constexpr uint64_t kWindowsDefaultTickMicros = 15'625;

class CoarseClock final : public Clock {
public:
    CoarseClock(Clock& base, uint64_t tickMicros) : base_(base), tickMicros_(tickMicros) {}

    uint32_t TickCount() override { return base_.TickCount(); }
    void Sleep(uint32_t milliseconds) override { SleepFor(uint64_t{milliseconds} * 1000); }
    uint64_t NowMicros() const override { return base_.NowMicros(); }
    void SleepUntilMicros(uint64_t moment) override {
        const uint64_t now = NowMicros();
        if (moment > now) {
            SleepFor(moment - now);
        }
    }
    uint64_t Sleeps() const { return sleeps_; }

private:
    void SleepFor(uint64_t micros) {
        if (micros == 0) {
            return;
        }
        ++sleeps_;
        const uint64_t ticks = (micros + tickMicros_ - 1) / tickMicros_;
        base_.SleepUntilMicros(base_.NowMicros() + ticks * tickMicros_);
    }

    Clock& base_;
    const uint64_t tickMicros_;
    uint64_t sleeps_ = 0;
};

}  // namespace norvane
