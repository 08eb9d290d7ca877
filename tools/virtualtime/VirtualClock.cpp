#include "tools/virtualtime/VirtualClock.h"

namespace norvane {

uint32_t VirtualClock::TickCount() {
    return startTick_ + static_cast<uint32_t>(nowMicros_ / 1000);
}

void VirtualClock::Sleep(uint32_t milliseconds) {
    AdvanceToMicros(nowMicros_ + uint64_t{milliseconds} * 1000);
}

void VirtualClock::AtMicros(uint64_t atMicros, std::function<void()> action) {
    pending_.emplace(std::make_pair(atMicros, sequence_++), std::move(action));
}

void VirtualClock::AdvanceToMicros(uint64_t atMicros) {
    while (!pending_.empty() && pending_.begin()->first.first <= atMicros) {
        auto first = pending_.begin();
        if (first->first.first > nowMicros_) {
            nowMicros_ = first->first.first;
        }
        auto action = std::move(first->second);
        pending_.erase(first);
        action();  // may schedule further actions, also for this very moment
    }
    if (atMicros > nowMicros_) {
        nowMicros_ = atMicros;
    }
}

}  // namespace norvane
