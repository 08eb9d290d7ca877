// How both protocols put numbers and lengths on the wire.
#pragma once

#include <cstdint>

namespace norvane {

// Both protocols send whole 256-byte blocks (chunks).
constexpr uint32_t kBlockSize = 256;

constexpr uint32_t RoundUpToBlock(uint32_t length) {
    return (length % kBlockSize == 0) ? length : (length & ~(kBlockSize - 1)) + kBlockSize;
}

// Multi-byte values go out little-endian: `size` bytes of `value`, low byte first.
inline void PutLittleEndian(uint8_t* out, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace norvane
