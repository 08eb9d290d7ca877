#include "engine/Image.h"

#include <cstring>

namespace norvane {

ImageKind ImageKindOf(ImageSpan image) {
    if (image.size() < kKindCodeOffset + 2) {
        return IMAGE_INVALID;
    }
    const auto* code = image.data() + kKindCodeOffset;
    if (std::memcmp(code, "OS", 2) == 0) {
        return IMAGE_OS;
    }
    if (std::memcmp(code, "GM", 2) == 0) {
        return IMAGE_GM;
    }
    if (std::memcmp(code, "TV", 2) == 0) {
        return IMAGE_TV;
    }
    return IMAGE_INVALID;
}

const char* VersionTextOf(ImageSpan image, ImageKind kind) {
    const uint32_t offset = (kind == IMAGE_OS) ? kOsVersionOffset : kChecksumVersionOffset;
    if (kind == IMAGE_INVALID || image.size() <= offset) {
        return nullptr;
    }
    const void* nul = std::memchr(image.data() + offset, 0, image.size() - offset);
    return nul ? reinterpret_cast<const char*>(image.data() + offset) : nullptr;
}

uint32_t OsImageLength(ImageSpan image) {
    for (size_t i = image.size(); i > 0; --i) {
        if (image[i - 1] == 0xFF) {
            return static_cast<uint32_t>(i);
        }
    }
    return 0;
}

ImageKind UsableImageKind(ImageSpan image) {
    return UnusableImageFault(image) == ImageFault::None ? ImageKindOf(image) : IMAGE_INVALID;
}

ImageFault UnusableImageFault(ImageSpan image) {
    const ImageKind kind = ImageKindOf(image);
    if (kind == IMAGE_INVALID) {
        return ImageFault::NoKindCode;
    }
    if (VersionTextOf(image, kind) == nullptr) {
        return ImageFault::NoVersionEnd;
    }
    if (kind != IMAGE_OS && image.size() < kChecksumImageMinimum) {
        return ImageFault::TooShort;  // the checksum protocol reads up to the end of region 1
    }
    return ImageFault::None;
}

}  // namespace norvane
