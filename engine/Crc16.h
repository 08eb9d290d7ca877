#pragma once

#include <cstdint>

namespace norvane {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
uint16_t Crc16(const uint8_t* bytes, uint16_t length);

}  // namespace norvane
