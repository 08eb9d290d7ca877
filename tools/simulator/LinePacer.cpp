#include "tools/simulator/LinePacer.h"

namespace norvane::sim {

namespace {

constexpr uint64_t kBitsPerByte = 10;
constexpr uint64_t kMicrosPerSecond = 1'000'000;

}  // namespace

uint64_t LinePacer::WireMicros(uint64_t count, uint32_t speed) {
    if (speed == 0) {
        speed = 9600;
    }
    return (count * kBitsPerByte * kMicrosPerSecond + speed - 1) / speed;
}

void LinePacer::Start(uint64_t now, uint32_t speed) {
    active_ = true;
    start_ = now;
    taken_ = 0;
    speed_ = speed == 0 ? 9600 : speed;
}

uint64_t LinePacer::ArrivalOf(uint64_t count) const {
    return start_ + WireMicros(count, speed_);
}

uint64_t LinePacer::Due(uint64_t now, uint32_t speed) {
    if (!active_) {
        return 0;
    }
    if (speed == 0) {
        speed = speed_;
    }
    if (speed != speed_) {
        start_ = ArrivalOf(taken_);
        taken_ = 0;
        speed_ = speed;
    }
    if (now <= start_) {
        return 0;
    }
    const uint64_t arrived = (now - start_) * speed_ / (kBitsPerByte * kMicrosPerSecond);
    return arrived > taken_ ? arrived - taken_ : 0;
}

uint64_t LinePacer::WakeFor(uint64_t piece) const {
    return ArrivalOf(taken_ + (piece == 0 ? 1 : piece));
}

}  // namespace norvane::sim
