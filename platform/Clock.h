// Millisecond tick count and sleeping, behind an interface so that every wait of the
// engine can run in virtual time under test.
#pragma once

#include <cstdint>

namespace norvane {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; wraps around every 2^32 ms.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

// The process's real clock (monotonic).
Clock& SystemClock();

// True once `now` has reached `deadline`, judged on the wrapping 32-bit tick count: a deadline
// counts as reached when it lies no more than half the range behind `now`.
inline bool DeadlineReached(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace norvane
