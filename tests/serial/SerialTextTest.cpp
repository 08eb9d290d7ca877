// The OS-independent pieces: frame text, time on the wire and time limits, port names, the
// failure report.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <utility>

#include "serial/ErrorText.h"
#include "serial/LineFrame.h"
#include "serial/PortName.h"
#include "serial/WireTime.h"

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

TEST(TransferTimeLimit, NoLengthWrapsToAShortLimit) {
    EXPECT_EQ(TransferTimeLimitMs(143165, 9600), 447390u);
    EXPECT_EQ(TransferTimeLimitMs(143166, 9600), 447393u);  // a 32-bit product wraps here
    EXPECT_EQ(TransferTimeLimitMs(200000, 9600), 625000u);
    // Never the 0xFFFFFFFF that a Win32 wait takes for "no limit".
    EXPECT_EQ(TransferTimeLimitMs(0xFFFFFFFFu, 1), 0xFFFFFFFEu);
}

TEST(WireTime, OneStartBitDataParityAndStopBitsPerCharacter) {
    EXPECT_EQ(HalfBitsPerCharacter({8, PARITY_NONE, STOP_BITS_ONE}), 20u);
    EXPECT_EQ(HalfBitsPerCharacter({7, PARITY_EVEN, STOP_BITS_TWO}), 22u);
    EXPECT_EQ(HalfBitsPerCharacter({5, PARITY_MARK, STOP_BITS_ONE5}), 17u);
    const LineFrame frame8N1;
    EXPECT_EQ(WireTimeMicros(960, 9600, frame8N1), 1'000'000u);
    EXPECT_EQ(WireTimeMicros(1, 115200, frame8N1), 87u);  // 86.8, rounded up
    EXPECT_EQ(WireTimeMicros(51200, 9600, {8, PARITY_EVEN, STOP_BITS_ONE}), 58'666'667u);
    // The whole range of a write's length, without wrapping.
    EXPECT_EQ(WireTimeMicros(0xFFFFFFFFu, 9600, frame8N1), 4'473'924'265'625u);
    EXPECT_EQ(WireTimeMicros(100, 0, frame8N1), 0u);
}

TEST(LineSchedule, EachWriteMovesFreeAtOnFromNowOrFromTheEarlierFreeAt) {
    LineSchedule line;
    line.Reset(9600, LineFrame{});
    EXPECT_TRUE(line.FreeBy(0));
    EXPECT_EQ(line.Add(1'000'000, 96), 1'100'000u);   // idle line: from now
    EXPECT_EQ(line.Add(1'050'000, 96), 1'200'000u);   // busy line: from its free-at
    EXPECT_EQ(line.Add(5'000'000, 960), 6'000'000u);  // idle again
    line.SetSpeed(115200);                            // the switch an OS device makes after "START"
    EXPECT_EQ(line.Add(6'000'000, 11520), 7'000'000u);
    EXPECT_FALSE(line.FreeBy(6'999'999));
    EXPECT_TRUE(line.FreeBy(7'000'000));
    line.Dropped(6'500'000);
    EXPECT_EQ(line.FreeAt(), 6'500'000u);
}

TEST(LineSchedule, AWaitingWriteSleepsToItsLastFifoOfBytesThenByTheQueuesWireTime) {
    LineSchedule line;
    line.Reset(9600, LineFrame{});
    const uint64_t fifo = line.FifoMicros();
    EXPECT_EQ(fifo, 16'667u);  // 16 bytes
    line.Add(0, 256);          // 266,667 us
    const uint64_t deadline = 800'000;
    LineWaitStep step = NextLineWait(1'000, deadline, line, fifo, 0);
    EXPECT_EQ(step.what, LineWait::kSleep);
    EXPECT_EQ(step.until, 250'000u);  // straight to its last FIFO of bytes, whatever the queue says
    EXPECT_EQ(NextLineWait(250'000, deadline, line, fifo, 0).what, LineWait::kDone);
    // A wait for the line itself (a change of speed): to the end of the last byte.
    EXPECT_EQ(NextLineWait(250'000, deadline, line, 0, 0).until, 266'667u);
    // The driver still holds 48 bytes: their wire time.
    step = NextLineWait(250'000, deadline, line, fifo, 48);
    EXPECT_EQ(step.what, LineWait::kSleep);
    EXPECT_EQ(step.until, 300'000u);
    EXPECT_EQ(NextLineWait(300'100, deadline, line, fifo, 0).what, LineWait::kDone);
    // Never past the deadline; given up there.
    EXPECT_EQ(NextLineWait(799'900, deadline, line, fifo, 100).until, deadline);
    EXPECT_EQ(NextLineWait(deadline, deadline, line, fifo, 1).what, LineWait::kGiveUp);
    line.SetSpeed(115200);  // one byte: 87 us, but no look sooner than a millisecond on
    EXPECT_EQ(NextLineWait(300'000, deadline, line, line.FifoMicros(), 1).until, 301'000u);
    line.Add(300'000, 115200);  // free at 10.3 s, far beyond the limit
    EXPECT_EQ(NextLineWait(400'000, deadline, line, line.FifoMicros(), 0).until, deadline);
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
