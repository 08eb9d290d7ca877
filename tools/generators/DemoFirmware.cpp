#include "tools/generators/DemoFirmware.h"

#include <cstring>

namespace norvane::gen {
namespace {

// xorshift32: the same bytes on every build and every platform.
class CodeBytes {
public:
    explicit CodeBytes(uint32_t seed) : state_(seed) {}
    uint8_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint8_t>(state_ >> 24);
    }

private:
    uint32_t state_;
};

void FillCode(std::vector<uint8_t>& image, size_t start, size_t length, uint32_t seed) {
    CodeBytes code(seed);
    for (size_t i = 0; i < length; ++i) {
        image[start + i] = code.Next();
    }
    // The last code byte must not look like erased flash, or the region would trim shorter.
    if (image[start + length - 1] == 0xFF) {
        image[start + length - 1] = 0x00;
    }
}

}  // namespace

std::vector<uint8_t> BuildDemoFirmware() {
    using L = DemoLayout;
    std::vector<uint8_t> image(L::kImageSize, 0x00);
    std::memset(image.data(), 0xFF, L::kFlashEnd);

    image[L::kKindOffset] = 'T';
    image[L::kKindOffset + 1] = 'V';

    FillCode(image, L::kRegion0Start, L::kRegion0Code, 0x4E6F7276u);
    FillCode(image, L::kRegion1Start, L::kRegion1Code, 0x54566431u);

    const size_t versionLength = std::strlen(L::kVersionText) + 1;  // with its NUL
    std::memcpy(image.data() + L::kVersionOffset, L::kVersionText, versionLength);
    return image;
}

}  // namespace norvane::gen
