// Time on the wire: how long bytes take on a serial line, when a port's line has sent all it
// was given, and how long a waiting transfer may take. Both back ends use these, so they agree
// to the microsecond.
//
// A driver that says its output queue is empty has not necessarily put the bytes on the line:
// a USB adapter's chip buffer, a Bluetooth link or a pseudo-terminal holds more than the
// driver counts. A port therefore also keeps its own account of the line, from the speed and
// frame it has set, and a write is only over once both say so.
//
// A waiting write ends as a UART driver's does: once its last bytes are in the UART, which
// still has up to its transmit FIFO's worth to send. The next write then reaches the line
// before it falls idle, and no write gets further ahead of the line than that FIFO.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Clock.h"
#include "serial/LineFrame.h"

namespace norvane {

constexpr uint32_t MIN_TRANSFER_LIMIT_MS = 500;
// A 16550's transmit FIFO: what a waiting write may leave on the line when it ends.
constexpr uint32_t UART_FIFO_BYTES = 16;
// The longest limit a transfer gets: Win32 waits take 0xFFFFFFFF for "no limit at all".
constexpr uint32_t MAX_TRANSFER_LIMIT_MS = 0xFFFFFFFEu;

// Half bits one character takes on the line: a start bit, the data bits, a parity bit unless
// there is none, and the stop bits. Halves, so that one and a half stop bits count exactly.
uint32_t HalfBitsPerCharacter(const LineFrame& frame);

// Microseconds, rounded up, that `length` characters take at `baudRate` in `frame`. 64-bit
// throughout: every length a port can be given fits. A speed of 0 takes no time.
uint64_t WireTimeMicros(uint64_t length, uint32_t baudRate, const LineFrame& frame);

// The time limit of a waiting transfer of `length` bytes: three times the time of a 10-bit
// character per byte at `baudRate` (the speed the port was opened with), never less than half
// a second. Computed in 64 bits, so no length wraps round to a short limit.
uint32_t TransferTimeLimitMs(uint64_t length, uint32_t baudRate);

// When a port's line has sent every byte handed to it: each write moves that moment on by its
// own wire time at the line's current speed and frame, counted from the write or from the
// earlier moment, whichever is later. Times are microseconds of a monotonic clock.
class LineSchedule {
public:
    // An idle line at `baudRate` in `frame`, as Open leaves it.
    void Reset(uint32_t baudRate, const LineFrame& frame);
    // Later writes go at `baudRate`; bytes already counted keep the time they were given.
    void SetSpeed(uint32_t baudRate) { speed_ = baudRate; }
    // `length` bytes handed to the driver at `now`: the moment their last bit has left.
    uint64_t Add(uint64_t now, uint64_t length);
    // The driver dropped its unsent output at `now`: nothing more is coming.
    void Dropped(uint64_t now);

    uint64_t FreeAt() const { return freeAt_; }
    bool FreeBy(uint64_t now) const { return now >= freeAt_; }
    // The wire time of a UART's transmit FIFO at the line's speed and frame.
    uint64_t FifoMicros() const { return WireTimeMicros(UART_FIFO_BYTES, speed_, frame_); }
    uint32_t Speed() const { return speed_; }
    const LineFrame& Frame() const { return frame_; }

private:
    uint64_t freeAt_ = 0;
    uint32_t speed_ = 0;
    LineFrame frame_;
};

// What a wait for the line does next, once the driver has all its bytes.
enum class LineWait { kDone, kGiveUp, kSleep };
struct LineWaitStep {
    LineWait what;
    uint64_t until;  // for kSleep: wake up then
};

// Done when the driver's output queue is empty and no more than `ahead` of wire time is left
// on `line` by `now` (0: the line is free); given up at `deadline`. Otherwise it sleeps
// straight to that moment or, once it has passed, for the wire time of what the driver still
// holds (at least a millisecond); never past the deadline.
LineWaitStep NextLineWait(uint64_t now, uint64_t deadline, const LineSchedule& line, uint64_t ahead,
                          uint32_t queuedBytes);

// Microseconds of the monotonic clock the back ends keep their lines' schedules in: the system
// clock's (SystemClock().NowMicros()).
uint64_t MonotonicMicros();

// The limit of a wait, at `now`, for the bytes handed over to leave `line`: their own wire time
// and half a second more for what the driver still holds.
uint64_t LineLeftDeadline(const LineSchedule& line, uint64_t now);

// Sleeps on `clock` (whose NowMicros the schedule and `deadline` are kept in) through
// NextLineWait's steps, with `queuedBytes` reading the driver's output queue. True once no
// more than `ahead` is left on the line, false at `deadline`.
bool AwaitLine(const LineSchedule& line, uint64_t deadline, uint64_t ahead,
               const std::function<uint32_t()>& queuedBytes, Clock& clock);

}  // namespace norvane
