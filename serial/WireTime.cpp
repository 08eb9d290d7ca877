#include "serial/WireTime.h"

#include <algorithm>

namespace norvane {

namespace {

constexpr uint64_t kMicrosPerSecond = 1'000'000;
constexpr uint64_t kMinQueueSleepMicros = 1'000;

}  // namespace

uint32_t HalfBitsPerCharacter(const LineFrame& frame) {
    const uint32_t stopHalves = frame.stopBits == STOP_BITS_TWO    ? 4
                                : frame.stopBits == STOP_BITS_ONE5 ? 3
                                                                   : 2;
    const uint32_t parityHalves = frame.parity == PARITY_NONE ? 0 : 2;
    return 2 + 2 * uint32_t{frame.dataBits} + parityHalves + stopHalves;
}

uint64_t WireTimeMicros(uint64_t length, uint32_t baudRate, const LineFrame& frame) {
    if (baudRate == 0 || length == 0) {
        return 0;
    }
    // length < 2^32 and at most 24 half bits a character: the product stays far below 2^64.
    const uint64_t halfBitMicros = length * HalfBitsPerCharacter(frame) * kMicrosPerSecond;
    const uint64_t halfBitsPerSecond = 2 * uint64_t{baudRate};
    return (halfBitMicros + halfBitsPerSecond - 1) / halfBitsPerSecond;
}

uint32_t TransferTimeLimitMs(uint64_t length, uint32_t baudRate) {
    if (baudRate == 0) {
        return MIN_TRANSFER_LIMIT_MS;
    }
    const uint64_t limit = length * 30000u / baudRate;
    return static_cast<uint32_t>(
        std::clamp<uint64_t>(limit, MIN_TRANSFER_LIMIT_MS, MAX_TRANSFER_LIMIT_MS));
}

void LineSchedule::Reset(uint32_t baudRate, const LineFrame& frame) {
    freeAt_ = 0;
    speed_ = baudRate;
    frame_ = frame;
}

uint64_t LineSchedule::Add(uint64_t now, uint64_t length) {
    freeAt_ = std::max(now, freeAt_) + WireTimeMicros(length, speed_, frame_);
    return freeAt_;
}

void LineSchedule::Dropped(uint64_t now) {
    freeAt_ = std::min(freeAt_, now);
}

LineWaitStep NextLineWait(uint64_t now, uint64_t deadline, const LineSchedule& line, uint64_t ahead,
                          uint32_t queuedBytes) {
    const uint64_t doneAt = line.FreeAt() > ahead ? line.FreeAt() - ahead : 0;
    if (now >= doneAt && queuedBytes == 0) {
        return {LineWait::kDone, now};
    }
    if (now >= deadline) {
        return {LineWait::kGiveUp, now};
    }
    if (now < doneAt) {
        return {LineWait::kSleep, std::min(doneAt, deadline)};
    }
    const uint64_t queueTime =
        std::max(WireTimeMicros(queuedBytes, line.Speed(), line.Frame()), kMinQueueSleepMicros);
    return {LineWait::kSleep, std::min(now + queueTime, deadline)};
}

uint64_t LineLeftDeadline(const LineSchedule& line, uint64_t now) {
    return std::max(line.FreeAt(), now) + uint64_t{MIN_TRANSFER_LIMIT_MS} * 1000;
}

uint64_t MonotonicMicros() {
    return SystemClock().NowMicros();
}

bool AwaitLine(const LineSchedule& line, uint64_t deadline, uint64_t ahead,
               const std::function<uint32_t()>& queuedBytes, Clock& clock) {
    for (;;) {
        const LineWaitStep step =
            NextLineWait(clock.NowMicros(), deadline, line, ahead, queuedBytes());
        if (step.what != LineWait::kSleep) {
            return step.what == LineWait::kDone;
        }
        clock.SleepUntilMicros(step.until);
    }
}

}  // namespace norvane
