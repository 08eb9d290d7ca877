// Firmware images made by the tests, without a test framework, so that a test program of its
// own (a console carrying an OS image) can make the same ones.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace norvane::test {

// An OS image: random code from 0x200 to `lastCode` in the first MiB (the version text at
// 0x100), then 0xFF; `upper` random bytes above 1 MiB ending in 0xFF.
inline std::vector<uint8_t> OsTestImage(uint32_t upper, uint32_t lastCode = 0x1234,
                                        const char* version = "OS 7.02", uint32_t seed = 3) {
    std::vector<uint8_t> image(0x100000 + upper, 0xFF);
    std::mt19937 random(seed);
    std::memcpy(image.data() + 0x100, version, std::strlen(version) + 1);
    for (uint32_t i = 0x200; i <= lastCode; ++i) {
        image[i] = static_cast<uint8_t>(random() % 0xFF);  // never 0xFF
    }
    for (uint32_t i = 0; i + 1 < upper; ++i) {
        image[0x100000 + i] = static_cast<uint8_t>(random());
    }
    return image;
}

}  // namespace norvane::test
