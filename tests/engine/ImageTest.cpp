#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/Image.h"

namespace norvane {
namespace {

std::vector<uint8_t> ImageOf(const char* kind, size_t size, uint8_t fill = 0) {
    std::vector<uint8_t> image(size, fill);
    std::memcpy(image.data() + kKindCodeOffset, kind, 2);
    return image;
}

TEST(ImageKind, RecognisesTheThreeCodesByteExact) {
    EXPECT_EQ(ImageKindOf(ImageOf("OS", 0x200)), IMAGE_OS);
    EXPECT_EQ(ImageKindOf(ImageOf("GM", 0x200)), IMAGE_GM);
    EXPECT_EQ(ImageKindOf(ImageOf("TV", 0x200)), IMAGE_TV);
    EXPECT_EQ(ImageKindOf(ImageOf("os", 0x200)), IMAGE_INVALID);
    EXPECT_EQ(ImageKindOf(ImageOf("XX", 0x200)), IMAGE_INVALID);
    EXPECT_EQ(ImageKindOf(ImageOf("TV", 0x102)), IMAGE_TV);
    auto tooShort = ImageOf("TV", 0x102);
    tooShort.pop_back();
    EXPECT_EQ(ImageKindOf(tooShort), IMAGE_INVALID);
    EXPECT_EQ(ImageKindOf({}), IMAGE_INVALID);
}

TEST(ImageVersion, TextLiesAtTheKindsOffset) {
    auto os = ImageOf("OS", 0x1000);
    std::memcpy(os.data() + 0x100, "OS v1.2", 8);
    EXPECT_STREQ(VersionTextOf(os, IMAGE_OS), "OS v1.2");

    auto tv = ImageOf("TV", kChecksumImageMinimum, 0xFF);
    std::memcpy(tv.data() + 0x10100, "TV   3.04", 10);
    EXPECT_STREQ(VersionTextOf(tv, IMAGE_TV), "TV   3.04");
}

TEST(ImageChecks, ShortOrUnterminatedImagesAreRefused) {
    // An OS version text that runs to the end of the resource.
    auto os = ImageOf("OS", 0x104, 'x');
    EXPECT_EQ(VersionTextOf(os, IMAGE_OS), nullptr);
    EXPECT_EQ(UsableImageKind(os), IMAGE_INVALID);
    os.push_back(0);
    EXPECT_EQ(UsableImageKind(os), IMAGE_OS);

    // A TV image must reach the end of region 1 after rounding.
    auto tv = ImageOf("TV", kChecksumImageMinimum);
    EXPECT_EQ(UsableImageKind(tv), IMAGE_TV);
    tv.pop_back();
    EXPECT_EQ(UsableImageKind(tv), IMAGE_INVALID);
    // ... and its version text must be there.
    EXPECT_EQ(UsableImageKind(ImageOf("GM", 0x10100)), IMAGE_INVALID);
    EXPECT_EQ(UsableImageKind(ImageOf("XX", 0x20000)), IMAGE_INVALID);
}

TEST(ImageOsLength, EndsBehindTheLastFFByte) {
    auto image = ImageOf("OS", 0x400, 0x00);
    EXPECT_EQ(OsImageLength(image), 0u);  // no 0xFF at all
    image.back() = 0xFF;
    EXPECT_EQ(OsImageLength(image), 0x400u);
    image.back() = 0x00;
    image[0x2FF] = 0xFF;
    image[0x300] = 0x12;  // data behind the last 0xFF does not count
    EXPECT_EQ(OsImageLength(image), 0x300u);
}

}  // namespace
}  // namespace norvane
