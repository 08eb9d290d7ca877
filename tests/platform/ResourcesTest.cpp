#include <gtest/gtest.h>

#include <cstring>

#include "platform/Resources.h"

namespace norvane {
namespace {

TEST(Resources, TypeNamesCompareWithoutRegardToCase) {
    const auto upper = FindResourceBytes("PROGRAM", kProgramResourceId);
    ASSERT_FALSE(upper.empty());
    for (const char* name : {"Program", "program", "pRoGrAm"}) {
        const auto found = FindResourceBytes(name, kProgramResourceId);
        EXPECT_EQ(found.data(), upper.data()) << name;
        EXPECT_EQ(found.size(), upper.size()) << name;
    }
    EXPECT_EQ(FindResourceBytes("strings", kStringsResourceId).data(),
              FindResourceBytes("STRINGS", kStringsResourceId).data());
}

TEST(Resources, TheTwoResourcesAreDistinct) {
    const auto program = FindResourceBytes("Program", kProgramResourceId);
    const auto strings = FindResourceBytes("Strings", kStringsResourceId);
    ASSERT_FALSE(program.empty());
    ASSERT_FALSE(strings.empty());
    EXPECT_NE(program.data(), strings.data());
    // neither overlaps the other
    EXPECT_TRUE(program.data() + program.size() <= strings.data() ||
                strings.data() + strings.size() <= program.data());
}

TEST(Resources, UnknownTypeOrIdGivesNothing) {
    EXPECT_TRUE(FindResourceBytes("PROGRAM", kStringsResourceId).empty());
    EXPECT_TRUE(FindResourceBytes("STRINGS", kProgramResourceId).empty());
    EXPECT_TRUE(FindResourceBytes("PROGRAM", 0).empty());
    EXPECT_TRUE(FindResourceBytes("PROGRAMS", kProgramResourceId).empty());
    EXPECT_TRUE(FindResourceBytes("PROGRA", kProgramResourceId).empty());
    EXPECT_TRUE(FindResourceBytes("", kProgramResourceId).empty());
    EXPECT_TRUE(FindResourceBytes("ICON", 128).empty());
}

TEST(Resources, StringTableHasTheShippedSize) {
    EXPECT_EQ(FindResourceBytes("Strings", kStringsResourceId).size(), 4751u);
}

#ifdef NORVANE_DEMO_FIRMWARE
TEST(Resources, ProgramIsTheTwoMillionByteDemoTvImage) {
    const auto image = FindResourceBytes("Program", kProgramResourceId);
    ASSERT_EQ(image.size(), 2000000u);
    EXPECT_EQ(image[0x100], 'T');
    EXPECT_EQ(image[0x101], 'V');
    EXPECT_EQ(std::memcmp(image.data() + 0x10100, "TV", 2), 0);
    EXPECT_EQ(image.back(), 0);
}
#endif

}  // namespace
}  // namespace norvane
