#include <gtest/gtest.h>

#include "strings/MultiStrings.h"

namespace norvane {
namespace {

TEST(FormatText, FillsTheTablesConversions) {
    EXPECT_EQ(FormatText("Device error - code %04x returned", 0xffff),
              "Device error - code ffff returned");
    EXPECT_EQ(FormatText("Device error - code %04x returned", 0x1a),
              "Device error - code 001a returned");
    EXPECT_EQ(FormatText("Device detected on COM%d", 3), "Device detected on COM3");
    EXPECT_EQ(FormatText("Programming flash memory (block #%d)...", 142),
              "Programming flash memory (block #142)...");
    EXPECT_EQ(FormatText("Norvane Version %s", "2.1.0"), "Norvane Version 2.1.0");
    EXPECT_EQ(FormatText("Build %s", ""), "Build ");
}

TEST(FormatText, WidthsFlagsAndCase) {
    EXPECT_EQ(FormatText("[%5d]", 42), "[   42]");
    EXPECT_EQ(FormatText("[%-5d]", 42), "[42   ]");
    EXPECT_EQ(FormatText("[%05d]", -42), "[-0042]");
    EXPECT_EQ(FormatText("[%+d]", 7), "[+7]");
    EXPECT_EQ(FormatText("[%X]", 0xBEEF), "[BEEF]");
    EXPECT_EQ(FormatText("[%08X]", 0xBEEF), "[0000BEEF]");
    EXPECT_EQ(FormatText("[%2x]", 0x12345), "[12345]");  // width is a minimum
    EXPECT_EQ(FormatText("[%6s]", "ab"), "[    ab]");
    EXPECT_EQ(FormatText("[%-6s]", "ab"), "[ab    ]");
    EXPECT_EQ(FormatText("%d", 0), "0");
}

TEST(FormatText, ExtremeValues) {
    EXPECT_EQ(FormatText("%d", INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(FormatText("%d", INT64_MAX), "9223372036854775807");
    EXPECT_EQ(FormatText("%x", -1), "ffffffff");  // as printf shows an int
    EXPECT_EQ(FormatText("%u", -1), "4294967295");
}

TEST(FormatText, PercentPercentAndTextsWithoutConversion) {
    EXPECT_EQ(FormatText("100%% done", 5), "100% done");
    EXPECT_EQ(FormatText("%d%%", 50), "50%");
    EXPECT_EQ(FormatText("Status", 1), "Status");
    EXPECT_EQ(FormatText("Status", "x"), "Status");
    EXPECT_EQ(FormatText("", 1), "");
}

TEST(FormatText, OnlyTheFirstConversionIsFilled) {
    EXPECT_EQ(FormatText("%d and %d", 1), "1 and %d");
    EXPECT_EQ(FormatText("%s then %s", "a"), "a then %s");
    EXPECT_EQ(FormatText("%04x %s", 0xab), "00ab %s");
}

TEST(FormatText, UnexpectedConversionsAreCopiedLiterally) {
    // wrong type for the value: left as it stands, and later conversions are not filled
    EXPECT_EQ(FormatText("Version %s", 3), "Version %s");
    EXPECT_EQ(FormatText("COM%d", "x"), "COM%d");
    EXPECT_EQ(FormatText("%s then %d", 4), "%s then %d");
    // not handled at all: pointers, floats, precision, length modifiers, a dangling '%'
    EXPECT_EQ(FormatText("%p", 1), "%p");
    EXPECT_EQ(FormatText("%f", 1), "%f");
    EXPECT_EQ(FormatText("%.3d", 1), "%.3d");
    EXPECT_EQ(FormatText("%ld", 1), "%ld");
    EXPECT_EQ(FormatText("50%", 1), "50%");
    EXPECT_EQ(FormatText("%n%d", 9), "%n9");
    EXPECT_EQ(FormatText("%-", 1), "%-");
    // an absurd width is not honoured
    EXPECT_EQ(FormatText("%999999999d", 1), "%999999999d");
}

TEST(FormatText, SeveralValuesFillTheirConversionsInOrder) {
    EXPECT_EQ(FormatText("%s is in use by %s. Close it and try again.",
                         {"COM3 (/dev/ttyUSB0)", std::string("minicom")}),
              "COM3 (/dev/ttyUSB0) is in use by minicom. Close it and try again.");
    EXPECT_EQ(FormatText("block %d of region %d", {17, 1}), "block 17 of region 1");
    EXPECT_EQ(FormatText("%s: %04x %-3s|", {"x", 0xab, "y"}), "x: 00ab y  |");
    // a value of the wrong type is used up, so the later conversions keep their own values
    EXPECT_EQ(FormatText("%d of %d then %s", {"a", 2, "b"}), "%d of 2 then b");
    // conversions beyond the values, and values beyond the conversions
    EXPECT_EQ(FormatText("%s then %s", {"a"}), "a then %s");
    EXPECT_EQ(FormatText("only %d", {1, 2, "x"}), "only 1");
    // conversions it does not handle take no value
    EXPECT_EQ(FormatText("%p %f %s", {"x"}), "%p %f x");
}

}  // namespace
}  // namespace norvane
