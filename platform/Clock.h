// Millisecond tick count and sleeping, behind an interface so that every wait of the
// engine can run in virtual time under test. The serial back ends sleep through the same
// interface (microseconds, to a moment), so a test can run both on one clock.
#pragma once

#include <cstdint>

namespace norvane {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; wraps around every 2^32 ms.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Microseconds since an arbitrary origin; never wraps.
    virtual uint64_t NowMicros() const = 0;
    // Sleeps until NowMicros() has reached `moment`, at once when it has. The system's timer
    // may end it later, never sooner.
    virtual void SleepUntilMicros(uint64_t moment) = 0;
};

// The process's real clock (monotonic): NowMicros counts in the same microseconds as the
// serial lines' schedules (MonotonicMicros, serial/WireTime.h). On Windows its sleeps are
// exact to about a millisecond whatever the system's timer resolution (SystemSleep.h).
Clock& SystemClock();

// True once `now` has reached `deadline`, judged on the wrapping 32-bit tick count: a deadline
// counts as reached when it lies no more than half the range behind `now`.
inline bool DeadlineReached(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace norvane
