// The OS-independent pieces: frame text, time on the wire and time limits, port names, the
// failure report.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "serial/ErrorText.h"
#include "serial/LineFrame.h"
#include "serial/PortList.h"
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

TEST(PortNames, ComNumbersFromOneOnInCapitalsWithoutLeadingZeros) {
    EXPECT_EQ(ComPortNumber("COM1"), 1);
    EXPECT_EQ(ComPortNumber("COM12"), 12);
    EXPECT_EQ(ComPortNumber("COM256"), 256);
    for (const char* name : {"COM", "COM0", "COM012", "COM1a", "COM-1", "com1", "COM99999999999",
                             "/dev/ttyUSB3", ""}) {
        EXPECT_EQ(ComPortNumber(name), 0) << name;
    }
    EXPECT_EQ(ComPortNumberIgnoringCase("com12"), 12);
}

// CreateFile reaches COM10 and above only as "\\.\COM10"; the short names take the prefix too.
TEST(PortNames, Win32OpensEveryComNameThroughTheDeviceNamespace) {
    EXPECT_EQ(Win32DeviceName("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(Win32DeviceName("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(Win32DeviceName("com12"), "\\\\.\\com12");
    EXPECT_EQ(Win32DeviceName("\\\\.\\COM3"), "\\\\.\\COM3");
    EXPECT_EQ(Win32DeviceName("COM0"), "COM0");
    EXPECT_EQ(Win32DeviceName("LPT1"), "LPT1");
}

// What Windows lists in SERIALCOMM: in any order, now and then twice, with names that are no
// COM port.
TEST(PortList, SystemNamesGiveEachComPortOnceByNumber) {
    const PortList ports =
        PortsFromSystemNames({"COM12", "COM3", "com4", "COM3", "CNCA0", "COM0", "", "COM1"});
    ASSERT_EQ(ports.size(), 4u);
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "COM1"}, {3, "COM3"}, {4, "COM4"}, {12, "COM12"}};
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].number, expected[i].first);
        EXPECT_EQ(ports[i].name, expected[i].second);
    }
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
