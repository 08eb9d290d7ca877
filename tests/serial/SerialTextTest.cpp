// The OS-independent pieces: frame text, time limits, port names, the failure report.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <utility>

#include "serial/ErrorText.h"
#include "serial/LineFrame.h"
#include "serial/PortName.h"
#include "serial/WriteTimeLimit.h"

namespace norvane {
namespace {

TEST(FrameText, ParsesDataBitsParityAndStopBits) {
    LineFrame frame;
    ASSERT_TRUE(ParseFrameText("8N1", &frame));
    EXPECT_EQ(frame.dataBits, 8);
    EXPECT_EQ(frame.parity, PARITY_NONE);
    EXPECT_EQ(frame.stopBits, STOP_BITS_ONE);

    ASSERT_TRUE(ParseFrameText("7E2", &frame));
    EXPECT_EQ(frame.dataBits, 7);
    EXPECT_EQ(frame.parity, PARITY_EVEN);
    EXPECT_EQ(frame.stopBits, STOP_BITS_TWO);

    for (const auto& [text, parity] : {std::pair{"5o1", PARITY_ODD}, std::pair{"6M1", PARITY_MARK},
                                       std::pair{"8s2", PARITY_SPACE}}) {
        ASSERT_TRUE(ParseFrameText(text, &frame)) << text;
        EXPECT_EQ(frame.parity, parity) << text;
    }
}

TEST(FrameText, RejectsMalformedTextAndLeavesFrameAlone) {
    for (const char* bad : {"", "8N", "8N10", "9N1", "4N1", "8X1", "8N3", "8N0", "N81"}) {
        LineFrame frame{7, PARITY_ODD, STOP_BITS_TWO};
        EXPECT_FALSE(ParseFrameText(bad, &frame)) << bad;
        EXPECT_EQ(frame.dataBits, 7) << bad;
        EXPECT_EQ(frame.parity, PARITY_ODD) << bad;
    }
    LineFrame frame;
    EXPECT_FALSE(ParseFrameText(nullptr, &frame));
}

TEST(TransferTimeLimit, FollowsLengthAndSpeedWithHalfSecondMinimum) {
    EXPECT_EQ(TransferTimeLimitMs(5, 9600), 500u);
    EXPECT_EQ(TransferTimeLimitMs(100, 9600), 500u);  // 312
    EXPECT_EQ(TransferTimeLimitMs(160, 9600), 500u);  // exactly 500
    EXPECT_EQ(TransferTimeLimitMs(161, 9600), 503u);
    EXPECT_EQ(TransferTimeLimitMs(256, 9600), 800u);
    EXPECT_EQ(TransferTimeLimitMs(256, 115200), 500u);
    EXPECT_EQ(TransferTimeLimitMs(0, 0), 500u);
}

TEST(TransferTimeLimit, UsesWrappingThirtyTwoBitProduct) {
    // 143,165 * 30000 still fits; one byte more wraps like the 32-bit original.
    EXPECT_EQ(TransferTimeLimitMs(143165, 9600), 447390u);
    EXPECT_EQ(TransferTimeLimitMs(143166, 9600), 500u);     // product wraps to 12704
    EXPECT_EQ(TransferTimeLimitMs(200000, 9600), 177607u);  // (6e9 mod 2^32) / 9600
}

class PortNames : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= 8; ++n) {
            unsetenv(("NORVANE_COM" + std::to_string(n)).c_str());
        }
    }
};

TEST_F(PortNames, DefaultTableWithoutEnvironment) {
    EXPECT_EQ(ResolvePortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortPath("COM4"), "/dev/ttyS3");
    EXPECT_EQ(ResolvePortPath("COM6"), "/dev/ttyUSB1");
    EXPECT_EQ(ResolvePortPath("COM8"), "/dev/ttyACM1");
}

TEST_F(PortNames, EnvironmentOverridesAndEmptyMeansNoPort) {
    setenv("NORVANE_COM3", "/dev/pts/42", 1);
    setenv("NORVANE_COM5", "", 1);
    EXPECT_EQ(ResolvePortPath("COM3"), "/dev/pts/42");
    EXPECT_EQ(ResolvePortPath("COM5"), std::nullopt);
    EXPECT_EQ(ResolvePortPath("COM2"), "/dev/ttyS1");
}

TEST_F(PortNames, OtherNamesAreUsedAsPaths) {
    setenv("NORVANE_COM1", "/dev/null", 1);
    EXPECT_EQ(ResolvePortPath("COM9"), "COM9");
    EXPECT_EQ(ResolvePortPath("COM0"), "COM0");
    EXPECT_EQ(ResolvePortPath("COM10"), "COM10");
    EXPECT_EQ(ResolvePortPath("com1"), "com1");
    EXPECT_EQ(ResolvePortPath("/dev/ttyUSB3"), "/dev/ttyUSB3");
}

TEST(PortErrorText, LaysOutTextCodeMessageAndPort) {
    EXPECT_EQ(FormatPortErrorText("Open", 2, "No such file or directory\n", "COM9"),
              "Open:\n\nMessaggio:\t[002] No such file or directory\nPorta:\t\tCOM9");
    EXPECT_EQ(FormatPortErrorText("Write", 1234, "", "COM1"),
              "Write:\n\nMessaggio:\t[1234] Porta:\t\tCOM1");
}

TEST(PortErrorText, KeepsPercentSignsOfTheTextsAsTheyAre) {
    EXPECT_EQ(FormatPortErrorText("100%s", 5, "x%d\n", "%n"),
              "100%s:\n\nMessaggio:\t[005] x%d\nPorta:\t\t%n");
}

}  // namespace
}  // namespace norvane
