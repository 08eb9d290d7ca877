// Small POSIX helpers of the serial back end: speeds, wake-up descriptors, deadlines.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstdint>

namespace norvane::posix {

// The termios code for `baudRate`; false when the line has no such speed (0 included).
bool SpeedCode(uint32_t baudRate, speed_t* code);

// A non-blocking eventfd used to wake a thread out of poll(); -1 with errno on failure.
int MakeWakeFd();
void Wake(int wakeFd);
void CloseFd(int* fd);  // closes and sets -1; nothing when already -1

// True once the line's output queue is empty (or the device cannot tell).
bool OutputDrained(int fd);

using Deadline = std::chrono::steady_clock::time_point;
Deadline DeadlineAfter(uint32_t milliseconds);
// Milliseconds left, rounded up, 0 once passed; fits poll()'s int timeout.
int MillisecondsLeft(Deadline deadline);

}  // namespace norvane::posix
