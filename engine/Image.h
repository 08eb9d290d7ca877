// The firmware image carried inside the program: its kind code at 0x100, its version text,
// and which of its bytes each programming protocol sends.
#pragma once

#include <cstdint>
#include <span>

namespace norvane {

using ImageSpan = std::span<const uint8_t>;

enum ImageKind : int {
    IMAGE_INVALID = 0,
    IMAGE_OS = 1,  // block-CRC protocol
    IMAGE_GM = 2,  // checksum protocol
    IMAGE_TV = 3,  // checksum protocol
};

constexpr uint32_t kKindCodeOffset = 0x100;
constexpr uint32_t kOsVersionOffset = 0x100;
constexpr uint32_t kChecksumVersionOffset = 0x10100;

// The two fixed regions of a GM/TV image: first byte and highest offset examined.
constexpr uint32_t kRegionStart[2] = {0x2000, 0x10000};
constexpr uint32_t kRegionLastExamined[2] = {0x9EFD, 0xBEFD};
// A GM/TV image must reach the end of region 1 after rounding.
constexpr uint32_t kChecksumImageMinimum = 0x10000 + 0xBF00;

// OS, then GM, then TV, compared byte for byte; IMAGE_INVALID for anything else and for an
// image too short to hold the kind code.
ImageKind ImageKindOf(ImageSpan image);

// The NUL-terminated version text of an image of `kind`, or nullptr when the text does not
// end inside the image.
const char* VersionTextOf(ImageSpan image, ImageKind kind);

// One more than the offset of the last 0xFF byte of the whole image; 0 when there is none.
// The resource that carries an OS image is padded with zero fill behind the image, and erased
// flash reads 0xFF: cutting after the last 0xFF drops the fill (and whatever non-0xFF bytes
// follow it) so that the device is never sent bytes that only pad the resource. An image
// without any 0xFF byte is refused, since nothing marks where it ends.
uint32_t OsImageLength(ImageSpan image);

// The kind of an image the engine can program: IMAGE_INVALID also when the version text has
// no terminating NUL inside the image, or a GM/TV image is too short for its two regions.
ImageKind UsableImageKind(ImageSpan image);

// Why an image cannot be programmed, for the user: the first three are found before any
// port is opened (UnusableImageFault), the last two once an OS device has been found.
enum class ImageFault {
    None,
    NoKindCode,    // no OS, GM or TV at 0x100
    NoVersionEnd,  // the version text runs to the end of the image
    TooShort,      // a GM/TV image shorter than its two regions
    NoEndMarker,   // an OS image without any 0xFF byte (OsImageLength)
    OsRegions,     // an OS image of 1 MiB or more that does not split into its two regions
};
// What UsableImageKind holds against `image`; None when it gives a kind.
ImageFault UnusableImageFault(ImageSpan image);

}  // namespace norvane
