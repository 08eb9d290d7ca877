#include "engine/Crc16.h"

#include <array>

namespace norvane {
namespace {

// Entry k: the register after k << 8 has been shifted eight times through 0x1021.
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t k = 0; k < 256; ++k) {
        uint16_t crc = static_cast<uint16_t>(k << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
        table[k] = crc;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

uint16_t Crc16(const uint8_t* bytes, uint16_t length) {
    uint16_t crc = 0;
    for (uint16_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(kTable[((crc >> 8) ^ bytes[i]) & 0xFF] ^ (crc << 8));
    }
    return crc;
}

}  // namespace norvane
