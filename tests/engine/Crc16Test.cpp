#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/Crc16.h"

namespace norvane {
namespace {

// Bit by bit, straight from the polynomial, as a reference for the table-driven code.
uint16_t BitwiseCrc(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

TEST(Crc16, CheckValueAndEmptyInput) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(digits), 9), 0x31C3);
    EXPECT_EQ(Crc16(nullptr, 0), 0);
}

TEST(Crc16, BlocksAgreeWithABitwiseReference) {
    std::vector<uint8_t> block(256);
    uint32_t seed = 12345;
    for (int round = 0; round < 20; ++round) {
        for (auto& b : block) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<uint8_t>(seed >> 16);
        }
        EXPECT_EQ(Crc16(block.data(), 256), BitwiseCrc(block.data(), 256)) << round;
    }
    std::vector<uint8_t> blank(256, 0xFF);
    EXPECT_EQ(Crc16(blank.data(), 256), BitwiseCrc(blank.data(), 256));
}

}  // namespace
}  // namespace norvane
