// How long a waiting transfer may take: three times the time of a 10-bit character per byte
// at the speed the port was opened with, never less than half a second.
#pragma once

#include <cstdint>

namespace norvane {

constexpr uint32_t MIN_TRANSFER_LIMIT_MS = 500;

// Unsigned 32-bit arithmetic on purpose: both back ends must agree to the millisecond, and the
// product stays exact for lengths up to 143,165 bytes. A speed of 0 gives the minimum.
constexpr uint32_t TransferTimeLimitMs(uint32_t length, uint32_t baudRate) {
    if (baudRate == 0) {
        return MIN_TRANSFER_LIMIT_MS;
    }
    const uint32_t limit = length * 30000u / baudRate;
    return limit <= MIN_TRANSFER_LIMIT_MS ? MIN_TRANSFER_LIMIT_MS : limit;
}

}  // namespace norvane
