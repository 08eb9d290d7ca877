// Whole jobs in virtual time: image, search, protocol and result against the device model on
// a simulated line that takes 10 bits per byte at the speed the host has set.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/DeviceProgrammer.h"
#include "engine/ProgrammerJob.h"
#include "platform/Resources.h"
#include "serial/WireTime.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ReferenceWire.h"
#include "tests/support/SimulatedJob.h"
#include "tools/simulator/SimulatedBus.h"
#include "tools/virtualtime/CoarseClock.h"

namespace norvane {
namespace {

using test::Bytes;

class SimulatedJobTest : public ::testing::Test, protected test::SimulatedJob {
protected:
    void SetUp() override { PrepareJob(); }
};

TEST_F(SimulatedJobTest, OsDeviceWithStarTakesBothRegions) {
    sim::DeviceConfig config;
    config.kind = "OS";
    config.serial = "SN77001";
    auto& device = bus.Attach(3, config);
    const Bytes image = test::OsTestImage(0x300);

    EXPECT_EQ(RunJob(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device.CurrentPhase(), sim::Phase::Programmed);
    EXPECT_EQ(device.Report().received, test::BlockCrcWire(image, image.size(), true));
    EXPECT_EQ(device.Report().Find(sim::Phase::Header)->hostSpeedAtEntry, 115200u);
    EXPECT_EQ(device.Report().blocksAcknowledged, 19u + 3u);
    EXPECT_EQ(events.Versions(), (std::vector<std::string>{"OS 7.02"}));
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Osk3"}));
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"SN7700\n"}));
    EXPECT_EQ(bus.OpenCount(), 0);
    EXPECT_EQ(bus.MaxOpenCount(), 8);
}

TEST_F(SimulatedJobTest, OsDeviceWithoutStarGetsTheFixedHeaderWord) {
    sim::DeviceConfig config;
    config.kind = "OS";
    config.star = false;
    config.upperLength = 0x300;
    auto& device = bus.Attach(1, config);
    const Bytes image = test::OsTestImage(0x300);
    EXPECT_EQ(RunJob(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device.Report().received, test::BlockCrcWire(image, image.size(), false));
}

TEST_F(SimulatedJobTest, ChattyNeighbourOverflowsItsRingWhileTheDeviceIsFound) {
    // COM1 streams text without a pause or a line feed: one scan per round takes one
    // 16-character record out, far less than arrives. The device on COM6 greets only after
    // five seconds.
    std::string chatter;
    while (chatter.size() < 20000) {
        chatter += "temp 21.5C ok.  ";
    }
    bus.SendRaw(1, chatter);
    sim::DeviceConfig config;
    config.kind = "TV";
    config.serial = "TV0012345";
    config.firstGreetingMicros = 5'000'000;
    bus.Attach(6, config);

    DeviceProgrammer programmer(bus.Factory(), NumberedComPorts(8), clock, strings);
    programmer.SetEventSink(&events, 0);
    EXPECT_EQ(programmer.SearchDevice(&abortFlag).result, MakeResult(RC_FOUND_TV));
    EXPECT_EQ(events.StatusTexts().back(), "Device detected on COM6");
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"TV001234\n"}));
    // About 5,000 bytes arrived on COM1; its ring held 999 of them and the scans took a few.
    EXPECT_GT(programmer.Ports().DroppedBytes(1), 3000u);
    EXPECT_EQ(programmer.Ports().DroppedBytes(6), 0u);
}

TEST_F(SimulatedJobTest, DemoTvImageIsProgrammedOverTheSlowLine) {
    sim::DeviceConfig config;
    config.kind = "TV";
    config.serial = "TV0012345";
    auto& device = bus.Attach(2, config);
    const ImageSpan demo = LoadImage();
    const Bytes image(demo.begin(), demo.end());
    const uint32_t length0 = test::ChecksumRegionLength(image, 0x2000, 0x9EFD);
    const uint32_t length1 = test::ChecksumRegionLength(image, 0x10000, 0xBEFD);

    EXPECT_EQ(RunJob(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device.Report().received, test::ChecksumWire(image, length0, length1));
    EXPECT_EQ(device.Report().Find(sim::Phase::Region1)->byteSpeeds, (std::vector<uint32_t>{9600}));
    // 10 bits a byte at 9600 baud: the streaming alone takes its wire time.
    const double wireSeconds = (length0 + length1) * 258.0 / 256.0 * 10 / 9600;
    EXPECT_GE(clock.NowMillis() / 1000.0, wireSeconds);
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Tarvik"}));
    EXPECT_EQ(bus.OpenCount(), 0);
}

// The demo image with its device on COM2, on a clock whose sleeps are exact or last whole
// ticks of `tickMicros` (the engine's waits and the port's alike).
struct DemoRun {
    FlashResult result = 0;
    uint64_t micros = 0;
    std::vector<sim::HostWrite> writes;
};
DemoRun RunDemoJob(const Bytes& image, uint64_t tickMicros, const MultiStrings& strings) {
    VirtualClock clock;
    sim::SimulatedBus bus(clock);
    for (int n = 1; n <= 8; ++n) {
        bus.SetIdle(n);
    }
    sim::DeviceConfig config;
    config.kind = "TV";
    bus.Attach(2, config);
    CoarseClock coarse(clock, tickMicros);
    Clock& host = tickMicros ? static_cast<Clock&>(coarse) : clock;
    bus.SetHostClock(host);
    test::RecordingSink events(&clock);
    std::atomic<int> abortFlag = 0;
    const FlashResult result =
        test::RunWholeJob(image, bus.Factory(), host, strings, events, abortFlag);
    return {result, clock.NowMicros(), bus.Writes()};
}

// Each chunk goes out with its sum in one write, handed over while the line still sends the one
// before and never more than a 16-byte FIFO ahead of it, whether sleeps are exact or round up
// to Windows' default 15.625 ms tick; the whole run takes the same time within 1 %.
TEST_F(SimulatedJobTest, DemoTvImageKeepsTheLineBusyWhateverTheTimerResolution) {
    const ImageSpan demo = LoadImage();
    const Bytes image(demo.begin(), demo.end());
    const uint32_t chunks = (test::ChecksumRegionLength(image, 0x2000, 0x9EFD) +
                             test::ChecksumRegionLength(image, 0x10000, 0xBEFD)) /
                            256;
    const uint64_t fifo = WireTimeMicros(UART_FIFO_BYTES, 9600, LineFrame{});
    uint64_t micros[2] = {};
    for (const uint64_t tick : {uint64_t{0}, kWindowsDefaultTickMicros}) {
        SCOPED_TRACE(tick);
        const DemoRun run = RunDemoJob(image, tick, strings);
        EXPECT_EQ(run.result, MakeResult(RC_SUCCESS));
        uint32_t chunkWrites = 0;
        for (const sim::HostWrite& write : run.writes) {
            if (write.length == 258) {
                ++chunkWrites;
                EXPECT_TRUE(write.wait);
                EXPECT_GT(write.lineBusyMicros, 0u) << "the line fell idle at " << write.atMicros;
                EXPECT_LE(write.lineBusyMicros, fifo) << "ahead of the line at " << write.atMicros;
            }
        }
        EXPECT_EQ(chunkWrites, chunks);
        micros[tick ? 1 : 0] = run.micros;
    }
    EXPECT_LE(micros[1], micros[0] + micros[0] / 100) << micros[0] << " us exact";
}

TEST_F(SimulatedJobTest, GmDeviceWithAGmImage) {
    sim::DeviceConfig config;
    config.kind = "GM";
    auto& device = bus.Attach(8, config);
    const ImageSpan demo = LoadImage();
    Bytes image(demo.begin(), demo.end());
    image[0x100] = 'G';
    image[0x101] = 'M';
    EXPECT_EQ(RunJob(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device.CurrentPhase(), sim::Phase::Programmed);
}

TEST_F(SimulatedJobTest, TvImageOnAnOsDeviceIsTheWrongDeviceAndNothingIsSent) {
    sim::DeviceConfig config;
    config.kind = "OS";
    auto& device = bus.Attach(4, config);
    const ImageSpan demo = LoadImage();
    EXPECT_EQ(RunJob(Bytes(demo.begin(), demo.end())), MakeResult(RC_WRONG_DEVICE));
    EXPECT_TRUE(device.Report().received.empty());
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Osk3"}));
    EXPECT_EQ(bus.OpenCount(), 0);
}

}  // namespace
}  // namespace norvane
