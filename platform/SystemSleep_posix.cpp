#include <chrono>
#include <thread>

#include "platform/SystemSleep.h"

namespace norvane {

// The kernel's timers are exact to microseconds already.
void SystemSleepMicros(uint64_t micros) {
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

FineTimerHold::FineTimerHold() = default;
FineTimerHold::~FineTimerHold() = default;

}  // namespace norvane
