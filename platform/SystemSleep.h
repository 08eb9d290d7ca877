// The one sleep of the real program: the system clock's sleeps, the engine's tick waits and the
// serial back ends' waits for their lines all end here.
#pragma once

#include <cstdint>

namespace norvane {

// Sleeps for at least `micros`, as exactly as the system allows. On Windows a high-resolution
// waitable timer (Windows 10 1803 on) ends it within about a millisecond; where the system has
// none it sleeps in whole milliseconds, exact while a FineTimerHold is alive.
void SystemSleepMicros(uint64_t micros);

// While one is alive, a system without high-resolution waitable timers runs its timer at
// 1 ms (timeBeginPeriod), not the default 15.6 ms. The serial ports hold one while open, which
// is while a job runs. Does nothing elsewhere.
class FineTimerHold {
public:
    FineTimerHold();
    ~FineTimerHold();
    FineTimerHold(const FineTimerHold&) = delete;
    FineTimerHold& operator=(const FineTimerHold&) = delete;
};

}  // namespace norvane
