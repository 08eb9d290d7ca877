#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/generators/DemoFirmware.h"

namespace norvane::gen {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A region's length as the checksum protocol computes it: trailing 0xFF trimmed (region offset
// 0 never examined), then rounded up to whole 256-byte chunks.
struct RegionLength {
    size_t trimmed;
    size_t rounded;
};
RegionLength Measure(const std::vector<uint8_t>& image, size_t start, size_t highest) {
    size_t k = highest;
    while (k > 0 && image[start + k] == 0xFF) {
        --k;
    }
    const size_t trimmed = k > 0 ? k + 1 : 0;
    const size_t rounded = trimmed % 256 ? (trimmed & ~size_t{0xFF}) + 256 : trimmed;
    return {trimmed, rounded};
}

class DemoImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { image_ = new std::vector<uint8_t>(BuildDemoFirmware()); }
    static void TearDownTestSuite() {
        delete image_;
        image_ = nullptr;
    }
    static const std::vector<uint8_t>& Image() { return *image_; }

private:
    static std::vector<uint8_t>* image_;
};
std::vector<uint8_t>* DemoImage::image_ = nullptr;

TEST_F(DemoImage, IsATwoMillionByteTvImage) {
    ASSERT_EQ(Image().size(), 2000000u);
    EXPECT_EQ(Image()[0x100], 'T');
    EXPECT_EQ(Image()[0x101], 'V');
}

TEST_F(DemoImage, VersionTextAt0x10100IsTerminatedAndBeginsWithTheKind) {
    const char* text = reinterpret_cast<const char*>(Image().data() + 0x10100);
    const void* nul = std::memchr(text, '\0', 64);
    ASSERT_NE(nul, nullptr);
    const std::string version(text);
    EXPECT_EQ(version, DemoLayout::kVersionText);
    EXPECT_EQ(version.substr(0, 2), "TV");
    EXPECT_GT(version.size(), 2u);
    EXPECT_EQ(version[2], ' ');
    const size_t digits = version.find_first_not_of(' ', 2);
    ASSERT_NE(digits, std::string::npos);
    EXPECT_TRUE(version[digits] >= '0' && version[digits] <= '9') << version;
}

TEST_F(DemoImage, BothRegionsTrimToTheirCodeAndRoundUp) {
    const RegionLength r0 = Measure(Image(), 0x2000, 0x9EFD);
    const RegionLength r1 = Measure(Image(), 0x10000, 0xBEFD);
    EXPECT_EQ(r0.trimmed, DemoLayout::kRegion0Code);
    EXPECT_EQ(r1.trimmed, DemoLayout::kRegion1Code);
    EXPECT_NE(r0.trimmed % 256, 0u);
    EXPECT_NE(r1.trimmed % 256, 0u);
    EXPECT_EQ(r0.rounded, 0x5B00u);
    EXPECT_EQ(r1.rounded, 0x6D00u);
    // moderate: the whole programmed size stays well under 64 KiB
    EXPECT_LT(r0.rounded + r1.rounded, 64u * 1024);
    // the version text is sent with region 1
    EXPECT_GT(r1.trimmed, 0x100u + std::strlen(DemoLayout::kVersionText));
}

TEST_F(DemoImage, CodeIsNotTrivial) {
    // pseudo-random code: many distinct byte values, not a fill pattern
    std::vector<int> histogram(256, 0);
    for (size_t i = 0; i < DemoLayout::kRegion0Code; ++i) {
        ++histogram[Image()[0x2000 + i]];
    }
    int distinct = 0;
    for (int count : histogram) {
        distinct += count > 0;
    }
    EXPECT_EQ(distinct, 256);
    // the two regions do not hold the same bytes
    EXPECT_NE(std::memcmp(Image().data() + 0x2000, Image().data() + 0x10000, 256), 0);
}

TEST_F(DemoImage, ErasedFlashAroundTheCodeAndZerosBehind) {
    const auto& image = Image();
    for (size_t i = 0; i < 0x2000; ++i) {
        if (i == 0x100 || i == 0x101) {
            continue;
        }
        ASSERT_EQ(image[i], 0xFF) << "at " << i;
    }
    for (size_t i = 0x2000 + DemoLayout::kRegion0Code; i < 0x10000; ++i) {
        ASSERT_EQ(image[i], 0xFF) << "at " << i;
    }
    for (size_t i = 0x10000 + DemoLayout::kRegion1Code; i < 0x1BF00; ++i) {
        ASSERT_EQ(image[i], 0xFF) << "at " << i;
    }
    for (size_t i = 0x1BF00; i < image.size(); ++i) {
        ASSERT_EQ(image[i], 0x00) << "at " << i;
    }
}

TEST_F(DemoImage, GeneratorWritesTheSameBytesOnEveryRun) {
    const std::string a = std::string(TEST_SCRATCH_DIR) + "/demo_a.bin";
    const std::string b = std::string(TEST_SCRATCH_DIR) + "/demo_b.bin";
    ASSERT_EQ(std::system((std::string("\"") + MAKE_DEMO_FIRMWARE + "\" \"" + a + "\"").c_str()),
              0);
    ASSERT_EQ(std::system((std::string("\"") + MAKE_DEMO_FIRMWARE + "\" \"" + b + "\"").c_str()),
              0);
    const std::vector<uint8_t> first = ReadFile(a);
    const std::vector<uint8_t> second = ReadFile(b);
    EXPECT_EQ(first.size(), 2000000u);
    EXPECT_TRUE(first == second);
    EXPECT_TRUE(first == Image());
    std::remove(a.c_str());
    std::remove(b.c_str());
}

}  // namespace
}  // namespace norvane::gen
