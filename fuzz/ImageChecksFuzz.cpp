// The image checks on arbitrary images, short ones included: the kind code, the version text,
// the OS image length and the final verdict on whether the engine can program the image, each
// against its plain definition. The image lies in an allocation of exactly its size, so any
// read past its end is caught.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/Image.h"
#include "fuzz/FuzzImage.h"

namespace {

using namespace norvane;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "image checks: %s\n", what);
        std::abort();
    }
}

ImageKind ModelKind(const fuzz::FuzzImage& image) {
    if (image.size() < 0x102) {
        return IMAGE_INVALID;
    }
    const uint8_t c0 = image[0x100], c1 = image[0x101];
    if (c0 == 'O' && c1 == 'S') {
        return IMAGE_OS;
    }
    if (c0 == 'G' && c1 == 'M') {
        return IMAGE_GM;
    }
    if (c0 == 'T' && c1 == 'V') {
        return IMAGE_TV;
    }
    return IMAGE_INVALID;
}

// Whether a NUL-terminated text starts at `offset` and ends inside the image.
bool HasText(const fuzz::FuzzImage& image, size_t offset) {
    return offset < image.size() &&
           std::memchr(image.data() + offset, 0, image.size() - offset) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    fuzz::ImageShape shape;
    const fuzz::FuzzImage image(in, &shape);
    if (shape == fuzz::ImageShape::OsSized) {
        return 0;  // the 1 MiB split is the regions target's; here it would only be slow
    }
    const ImageSpan span(image.data(), image.size());

    const ImageKind kind = ImageKindOf(span);
    Check(kind == ModelKind(image), "kind");

    for (ImageKind asked : {IMAGE_OS, IMAGE_GM, IMAGE_TV}) {
        const size_t offset = asked == IMAGE_OS ? 0x100 : 0x10100;
        const char* text = VersionTextOf(span, asked);
        if (HasText(image, offset)) {
            Check(text == reinterpret_cast<const char*>(image.data() + offset), "version text");
        } else {
            Check(text == nullptr, "version text without its NUL");
        }
    }
    Check(VersionTextOf(span, IMAGE_INVALID) == nullptr, "version text of no kind");

    const uint32_t length = OsImageLength(span);
    Check(length <= image.size(), "OS length beyond the image");
    if (length > 0) {
        Check(image[length - 1] == 0xFF, "OS length not behind a 0xFF byte");
    }
    Check(length == image.size() ||
              std::memchr(image.data() + length, 0xFF, image.size() - length) == nullptr,
          "a 0xFF byte behind the OS length");

    ImageKind usable = ModelKind(image);
    if (usable != IMAGE_INVALID && !HasText(image, usable == IMAGE_OS ? 0x100 : 0x10100)) {
        usable = IMAGE_INVALID;
    }
    if (usable != IMAGE_INVALID && usable != IMAGE_OS && image.size() < 0x10000 + 0xBF00) {
        usable = IMAGE_INVALID;
    }
    Check(UsableImageKind(span) == usable, "usable kind");
    return 0;
}
