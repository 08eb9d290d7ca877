// Small POSIX helpers of the serial back end: speeds, wake-up descriptors, deadlines.
#pragma once

#include <termios.h>

#include <cstdint>

namespace norvane::posix {

// The termios code for `baudRate`; false when the line has no such speed (0 included).
bool SpeedCode(uint32_t baudRate, speed_t* code);

// A non-blocking eventfd used to wake a thread out of poll(); -1 with errno on failure.
int MakeWakeFd();
void Wake(int wakeFd);
void CloseFd(int* fd);  // closes and sets -1; nothing when already -1

// Bytes in the line's output queue (0 when the device cannot tell).
uint32_t QueuedOutput(int fd);

// Milliseconds left until `deadline` (MonotonicMicros), rounded up, 0 once passed; fits
// poll()'s int timeout.
int MillisecondsLeft(uint64_t deadline);

}  // namespace norvane::posix
