// Waiting and non-waiting writes (and reads) against a pseudo-terminal whose master plays
// the device; a master that does not read makes the line block.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "serial/CommPort.h"
#include "tests/serial/PtyPair.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPair;

class Writes : public ::testing::Test {
protected:
    void Open(int mode = MODE_RECEIVER) {
        ASSERT_TRUE(port.Open("COM1", 9600, "8N1", mode)) << port.lastError;
    }

    // A descriptor of the test's own on the slave, opened before the port makes it exclusive.
    void OpenFiller() {
        filler = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(filler, 0);
    }

    // Fills the line through the filler, so the port's next write blocks. Done after the port
    // has made the line raw: output processing counts the room differently.
    void FillLine() {
        // The kernel takes small writes where large ones no longer fit, and moves bytes on to
        // the master's side in the background: the line is full once even single bytes have
        // stayed out for a while.
        const std::vector<uint8_t> chunk(4096, 0x5A);
        for (int quiet = 0; quiet < 5;) {
            bool took = false;
            for (size_t size : {size_t{4096}, size_t{256}, size_t{1}}) {
                while (write(filler, chunk.data(), size) > 0) {
                    took = true;
                }
                ASSERT_EQ(errno, EAGAIN);
            }
            quiet = took ? 0 : quiet + 1;
            std::this_thread::sleep_for(10ms);
        }
    }

    void TearDown() override {
        port.Close();
        if (filler >= 0) {
            close(filler);
        }
    }

    PtyPair pty;
    CommPort port;
    int filler = -1;
};

// The terminal takes the bytes at once and reports an empty queue; the write still lasts until
// no more than a UART's 16-byte FIFO is left on the line: 300 bytes at 9600 baud take 312.5 ms,
// the last 16 of them 16.7 ms. A change of speed waits for those too.
TEST_F(Writes, WaitingWriteArrivesWholeAndEndsWithAFifoOfBytesLeftOnTheLine) {
    Open();
    const std::vector<uint8_t> data = test::Pattern(300, 3);
    const auto begin = Clock::now();
    EXPECT_TRUE(port.Write(data.data(), 300, true)) << port.lastError;
    const auto took = Clock::now() - begin;
    EXPECT_GE(took, 295ms);
    EXPECT_LT(took, 500ms);
    EXPECT_TRUE(port.SetLineSpeed(115200));
    EXPECT_GE(Clock::now() - begin, 312ms);
    EXPECT_EQ(pty.ReadFromSlave(300, 2s), data);
    EXPECT_TRUE(port.Write(nullptr, 0, true));
    EXPECT_TRUE(port.Write(nullptr, 0, false));
    EXPECT_FALSE(port.TransferInProgress());
}

TEST_F(Writes, WaitingWriteThatCannotCompleteGivesUpAfterHalfASecond) {
    OpenFiller();
    Open();
    FillLine();
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    const auto begin = Clock::now();
    EXPECT_FALSE(port.Write(bytes, 5, true));
    const auto took = Clock::now() - begin;
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_GE(took, 490ms);
    EXPECT_LT(took, 900ms);
}

TEST_F(Writes, TimeLimitFollowsTheOpeningSpeedNotTheLineSpeed) {
    OpenFiller();
    Open();
    FillLine();
    ASSERT_TRUE(port.SetLineSpeed(115200));
    const std::vector<uint8_t> data(256, 0x11);
    const auto begin = Clock::now();
    EXPECT_FALSE(port.Write(data.data(), 256, true));
    const auto took = Clock::now() - begin;
    EXPECT_GE(took, 790ms);  // 256 bytes at 9600: 800 ms; at 115200 it would be 500 ms
    EXPECT_LT(took, 1300ms);
}

TEST_F(Writes, SecondNonWaitingWriteIsRefusedWhileTheFirstIsPending) {
    Open();
    ASSERT_TRUE(port.SetLineSpeed(2000000));  // 200 KiB leave the line in about a second
    const std::vector<uint8_t> first = test::Pattern(200 * 1024, 4);
    ASSERT_TRUE(port.Write(first.data(), static_cast<uint32_t>(first.size()), false));
    EXPECT_TRUE(port.TransferInProgress());

    port.lastError = 4242;
    const uint8_t intruder[3] = {0xDE, 0xAD, 0x00};
    EXPECT_FALSE(port.Write(intruder, 3, false));
    EXPECT_EQ(port.lastError, 4242u);

    // The device reads: exactly the first write arrives, in order, and the transfer ends.
    EXPECT_EQ(pty.ReadFromSlave(first.size(), 3s), first);
    EXPECT_TRUE(test::WaitUntil([&] { return !port.TransferInProgress(); }, 2s));
    EXPECT_TRUE(pty.ReadFromSlave(1, 50ms).empty());
    EXPECT_TRUE(test::WaitUntil([&] { return !port.TransferInProgress(); }, 2s));
    EXPECT_TRUE(port.Write(intruder, 3, false));
    EXPECT_EQ(pty.ReadFromSlave(3, 2s), std::vector<uint8_t>(intruder, intruder + 3));
}

// A waiting write never runs alongside a non-waiting one: it waits for it by its own time
// limit, or gives up without sending a byte. The bytes arrive in the order they were written.
TEST_F(Writes, WaitingWriteWaitsForAPendingNonWaitingOneOrGivesUpUnsent) {
    Open();
    ASSERT_TRUE(port.SetLineSpeed(2000000));
    const std::vector<uint8_t> stream = test::Pattern(64 * 1024, 6);
    ASSERT_TRUE(port.Write(stream.data(), static_cast<uint32_t>(stream.size()), false));
    ASSERT_TRUE(port.TransferInProgress());

    const uint8_t five[5] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00};
    const auto begin = Clock::now();
    EXPECT_FALSE(port.Write(five, 5, true));  // nobody reads: the stream stays stuck
    EXPECT_GE(Clock::now() - begin, 490ms);
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(ETIMEDOUT));

    const std::vector<uint8_t> tail = test::Pattern(300, 7);
    std::vector<uint8_t> received;
    std::thread device([&] { received = pty.ReadFromSlave(stream.size() + tail.size(), 5s); });
    EXPECT_TRUE(port.Write(tail.data(), static_cast<uint32_t>(tail.size()), true))
        << port.lastError;
    device.join();
    std::vector<uint8_t> expected = stream;
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(received, expected);
}

TEST_F(Writes, NonWaitingWriteOwnsACopyOfTheBytes) {
    Open();
    std::vector<uint8_t> data = test::Pattern(150 * 1024, 5);
    const std::vector<uint8_t> sent = data;
    ASSERT_TRUE(port.Write(data.data(), static_cast<uint32_t>(data.size()), false));
    std::fill(data.begin(), data.end(), 0);
    data.clear();
    data.shrink_to_fit();
    EXPECT_EQ(pty.ReadFromSlave(sent.size(), 3s), sent);
}

TEST_F(Writes, StopTransferThreadCancelsAPendingWrite) {
    Open();
    const std::vector<uint8_t> data(200 * 1024, 0x33);
    ASSERT_TRUE(port.Write(data.data(), static_cast<uint32_t>(data.size()), false));
    ASSERT_TRUE(port.TransferInProgress());
    const auto begin = Clock::now();
    EXPECT_TRUE(port.StopTransferThread());
    EXPECT_LT(Clock::now() - begin, 500ms);
    EXPECT_FALSE(port.TransferInProgress());
    EXPECT_TRUE(port.StopTransferThread());
}

TEST_F(Writes, ReceiverModeReadReturnsAtOnceWithWhatIsThere) {
    Open(MODE_RECEIVER);
    uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0x77);
    EXPECT_TRUE(port.Read(buffer, sizeof buffer, true));
    EXPECT_EQ(buffer[0], 0);  // zero-filled, nothing arrived
    pty.WriteToSlave({9, 8});
    ASSERT_TRUE(test::WaitUntil(
        [&] { return port.Read(buffer, sizeof buffer, true) && buffer[0] == 9; }, 2s));
    EXPECT_EQ(buffer[1], 8);
}

TEST_F(Writes, DirectModeReadWaitsForTheWholeCount) {
    Open(MODE_DIRECT);
    uint8_t buffer[4] = {};
    // A limit no busy machine reaches: the device's pauses only split the bytes in two.
    ASSERT_TRUE(port.SetTimeouts(0, 10'000));
    std::thread device([&] {
        std::this_thread::sleep_for(50ms);
        pty.WriteToSlave({1, 2});
        std::this_thread::sleep_for(50ms);
        pty.WriteToSlave({3, 4});
    });
    EXPECT_TRUE(port.Read(buffer, 4, true)) << port.lastError;
    device.join();
    EXPECT_EQ(buffer[3], 4);

    ASSERT_TRUE(port.SetTimeouts(0, 50));
    const auto begin = Clock::now();
    EXPECT_FALSE(port.Read(buffer, 4, true));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_LT(Clock::now() - begin, 500ms);
}

TEST_F(Writes, DirectModeNonWaitingReadCompletesInTheBackground) {
    Open(MODE_DIRECT);
    uint8_t buffer[3] = {};
    ASSERT_TRUE(port.Read(buffer, 3, false));
    EXPECT_TRUE(port.TransferInProgress());
    pty.WriteToSlave({7, 6, 5});
    ASSERT_TRUE(test::WaitUntil([&] { return !port.TransferInProgress(); }, 2s));
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[2], 5);
}

}  // namespace
}  // namespace norvane
