#include <chrono>

#include "platform/Clock.h"
#include "platform/SystemSleep.h"

namespace norvane {
namespace {

class SteadyClock final : public Clock {
public:
    uint32_t TickCount() override { return static_cast<uint32_t>(NowMicros() / 1000); }
    void Sleep(uint32_t milliseconds) override {
        SleepUntilMicros(NowMicros() + uint64_t{milliseconds} * 1000);
    }
    uint64_t NowMicros() const override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(since).count());
    }
    void SleepUntilMicros(uint64_t moment) override {
        // A timer may end a sleep a little early by the clock we read: sleep on.
        for (uint64_t now = NowMicros(); now < moment; now = NowMicros()) {
            SystemSleepMicros(moment - now);
        }
    }
};

}  // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace norvane
