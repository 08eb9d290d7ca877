#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/Crc16.h"
#include "tests/support/ReferenceWire.h"

namespace norvane {
namespace {

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
        EXPECT_EQ(Crc16(block.data(), 256), test::ReferenceCrc(block.data(), 256)) << round;
    }
    std::vector<uint8_t> blank(256, 0xFF);
    EXPECT_EQ(Crc16(blank.data(), 256), test::ReferenceCrc(blank.data(), 256));
}

}  // namespace
}  // namespace norvane
