// The demo firmware image embedded when no real image is configured: a "TV" image whose two
// programmed regions hold deterministic pseudo-random code followed by erased (0xFF) flash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace norvane::gen {

struct DemoLayout {
    static constexpr size_t kImageSize = 2000000;
    static constexpr size_t kKindOffset = 0x100;
    static constexpr size_t kVersionOffset = 0x10100;
    static constexpr size_t kRegion0Start = 0x2000;
    static constexpr size_t kRegion1Start = 0x10000;
    static constexpr size_t kFlashEnd = 0x1BF00;  // erased flash up to here, zero behind
    // Code bytes per region: deliberately not multiples of 256, so both regions round up.
    static constexpr size_t kRegion0Code = 0x5A37;  // 23095 bytes
    static constexpr size_t kRegion1Code = 0x6C5B;  // 27739 bytes
    static constexpr const char* kVersionText = "TV    1.04";
};

std::vector<uint8_t> BuildDemoFirmware();

}  // namespace norvane::gen
