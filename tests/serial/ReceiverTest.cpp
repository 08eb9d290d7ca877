// The receiver thread filling a ring from a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <thread>
#include <vector>

#include "serial/CommPort.h"
#include "tests/serial/PtyPair.h"
#include "tests/support/Footprint.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;

class Receiver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
    }

    uint32_t Index() const { return writeIndex.load(std::memory_order_acquire); }

    PtyPair pty;
    CommPort port;
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};  // the reader's; the receiver never passes it
};

// The ring's bytes are looked at only where a reader may: below a published write index, or
// after the receiver has stopped.

TEST_F(Receiver, BurstLongerThanTheRingKeepsTheUnreadBytesAndCountsTheDropped) {
    std::vector<uint8_t> ring(1000, 0xEE);
    const std::vector<uint8_t> burst = test::Pattern(1200, 7);
    pty.WriteToSlave(burst);
    ASSERT_TRUE(test::WaitUntil(  // all of it waiting before the receiver starts
        [&] {
            int waiting = 0;
            return ioctl(port.fileHandle, FIONREAD, &waiting) == 0 && waiting == 1200;
        },
        10s));
    ASSERT_TRUE(port.StartReceiver(ring.data(), 1000, &writeIndex, &readIndex));
    // Full one place short of the reader (equal indices mean empty); the rest is dropped.
    EXPECT_TRUE(test::WaitUntil([&] { return port.DroppedBytes() == 201; }, 2s));
    std::this_thread::sleep_for(20ms);
    port.StopReceiver();

    std::vector<uint8_t> expected(burst.begin(), burst.begin() + 999);
    expected.push_back(0);  // the free place, zero-filled by StartReceiver
    EXPECT_EQ(Index(), 999u);
    EXPECT_EQ(ring, expected);
    EXPECT_EQ(port.DroppedBytes(), 201u);
}

TEST_F(Receiver, ReadEndingAtTheRingsEndWrapsToZeroAndGoesOn) {
    std::vector<uint8_t> ring(100, 0xEE);
    ASSERT_TRUE(port.StartReceiver(ring.data(), 100, &writeIndex, &readIndex));
    const std::vector<uint8_t> first = test::Pattern(60, 1);
    pty.WriteToSlave(first);
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 60; }, 2s));
    readIndex = 60;                                            // the reader has taken them
    const std::vector<uint8_t> second = test::Pattern(40, 2);  // exactly to the end
    pty.WriteToSlave(second);
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 0; }, 2s));  // never 100
    EXPECT_TRUE(std::equal(second.begin(), second.end(), ring.begin() + 60));

    pty.WriteToSlave({0x01, 0x02, 0x03});
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 3; }, 2s));
    EXPECT_EQ(ring[0], 0x01);
    EXPECT_EQ(ring[2], 0x03);
}

TEST_F(Receiver, StartingAgainWhileRunningChangesNothing) {
    std::vector<uint8_t> ring(50);
    ASSERT_TRUE(port.StartReceiver(ring.data(), 50, &writeIndex, &readIndex));
    pty.WriteToSlave({0xA1, 0xA2});
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 2; }, 2s));

    std::vector<uint8_t> other(50, 0xCC);
    std::atomic<uint32_t> otherIndex{7};
    EXPECT_TRUE(port.StartReceiver(other.data(), 50, &otherIndex, &readIndex));
    EXPECT_EQ(other, std::vector<uint8_t>(50, 0xCC));  // not cleared, not used
    EXPECT_EQ(ring[0], 0xA1);                          // the first ring not cleared either
    pty.WriteToSlave({0xA3});
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 3; }, 2s));
    EXPECT_EQ(otherIndex.load(), 7u);
}

TEST_F(Receiver, StopsPromptlyAndCanBeStartedAgain) {
    std::vector<uint8_t> ring(50, 0xEE);
    const size_t threads = test::ThreadCount();
    ASSERT_TRUE(port.StartReceiver(ring.data(), 50, &writeIndex, &readIndex));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.StopReceiver());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    EXPECT_EQ(ring, std::vector<uint8_t>(50, 0));  // zero-filled by StartReceiver
    EXPECT_EQ(test::SettledThreadCount(threads), threads);
    EXPECT_TRUE(port.StopReceiver());

    writeIndex = 10;  // the receiver goes on from the caller's index
    ASSERT_TRUE(port.StartReceiver(ring.data(), 50, &writeIndex, &readIndex));
    pty.WriteToSlave({0x42});
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 11; }, 2s));
    EXPECT_EQ(ring[10], 0x42);
}

TEST_F(Receiver, HangUpIsToldAtOnceAndDoesNotMakeTheReceiverSpin) {
    std::vector<uint8_t> ring(100);
    const size_t fds = test::OpenFdCount();
    const size_t threads = test::ThreadCount();
    ASSERT_TRUE(port.StartReceiver(ring.data(), 100, &writeIndex, &readIndex));
    pty.WriteToSlave({1, 2, 3, 4});
    ASSERT_TRUE(test::WaitUntil([&] { return Index() == 4; }, 2s));
    EXPECT_FALSE(port.LineGone());

    const auto hungUp = std::chrono::steady_clock::now();
    pty.CloseMaster();
    ASSERT_TRUE(test::WaitUntil([&] { return port.LineGone(); }, 2s));
    // The receiver waits without a timeout, so it is told by the hang-up itself; the bound
    // leaves room for a busy machine and still fails one that looks only once a second.
    EXPECT_LT(std::chrono::steady_clock::now() - hungUp, 500ms);
    const double cpuBefore = test::ProcessCpuSeconds();
    std::this_thread::sleep_for(300ms);
    const double cpuUsed = test::ProcessCpuSeconds() - cpuBefore;
    EXPECT_LT(cpuUsed, 0.1) << "receiver busy after hang-up";
    EXPECT_EQ(Index(), 4u);

    const auto begin = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    EXPECT_EQ(port.fileHandle, INVALID_PORT_HANDLE);
    EXPECT_EQ(test::OpenFdCount(), fds - 2);  // the master and the port's descriptor
    EXPECT_EQ(test::SettledThreadCount(threads), threads);
}

}  // namespace
}  // namespace norvane
