// Paces the bytes a host puts on a line: 10 bits per byte (start, 8 data, stop) at the line
// speed the host has set. A burst starts when the host's first byte reaches the line; from
// then on the n-th byte of the burst is delivered n byte times after its start. The burst
// ends when the host has nothing more queued, so an idle line earns no credit.
#pragma once

#include <cstdint>

namespace norvane::sim {

class LinePacer {
public:
    // Microseconds (rounded up) that `count` bytes take on the wire at `speed`.
    static uint64_t WireMicros(uint64_t count, uint32_t speed);

    bool Active() const { return active_; }
    // The host's first byte has reached the line at `now`.
    void Start(uint64_t now, uint32_t speed);
    // Bytes of the burst whose last bit has arrived by `now` and not yet been taken. A change
    // of speed restarts the burst where its last taken byte ended.
    uint64_t Due(uint64_t now, uint32_t speed);
    // `count` bytes were taken off the line.
    void Took(uint64_t count) { taken_ += count; }
    // The host's queue ran dry: the line is idle until the next Start.
    void Stop() { active_ = false; }
    // When at least `piece` more bytes will be due (for the wake-up of the reading loop).
    uint64_t WakeFor(uint64_t piece) const;

private:
    uint64_t ArrivalOf(uint64_t count) const;  // end of the count-th byte of the burst

    bool active_ = false;
    uint64_t start_ = 0;
    uint64_t taken_ = 0;
    uint32_t speed_ = 9600;
};

}  // namespace norvane::sim
