// The real serial code over pseudo-terminals against norvane-devsim, in real time: the search
// finds the device on the right port, whole jobs end with the right result, and nothing is
// left behind (descriptors, threads, held ports).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <random>

#include "engine/DeviceProgrammer.h"
#include "engine/ProgrammerJob.h"
#include "serial/CommPort.h"
#include "tests/support/DevsimProcess.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Footprint.h"
#include "tests/support/RealLinkJob.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ReferenceWire.h"
#include "tests/support/SimulatedJob.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Devsim;
using test::Footprint;

// An OS image of 16 lower and 4 upper blocks.
Bytes SmallOsImage() {
    return test::OsTestImage(0x400, 0xF7F, "OS 1.00", 11);
}

// A TV device greets once 300 ms after it starts and then only every 3 s: the checksum run
// discards its input right before "START", and a greeting begun in between would reach the
// erase wait as an unexpected record. The OS devices of whole jobs greet once, 50 ms after the
// job has opened the line, for the same reason.
std::vector<std::string> GreetingOnce(std::vector<std::string> options) {
    options.insert(options.end(), {"--greet-on-open", "--first-greeting-ms", "50"});
    return options;
}

class RealLinkTest : public ::testing::Test, protected test::RealLinkJob {
protected:
    void SetUp() override { PrepareRealLink(); }

    std::unique_ptr<Devsim> StartDevice(int n, std::vector<std::string> options) {
        return StartDevsim(n, std::move(options));
    }

    // The job, timed.
    FlashResult RunJob(const Bytes& image) {
        const auto start = std::chrono::steady_clock::now();
        const FlashResult result = RealLinkJob::RunJob(image);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

    double seconds = 0;
};

TEST_F(RealLinkTest, SearchFindsTheDeviceOnItsPortAndLeavesNothingBehind) {
    auto device = StartDevice(3, {"--kind", "TV", "--serial", "TV4455667", "--greeting-ms", "40"});
    const Footprint before;
    {
        DeviceProgrammer programmer(CreateCommPort, NumberedComPorts(8), SystemClock(), strings);
        programmer.SetEventSink(&events, 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(programmer.SearchDevice(&abortFlag).result, MakeResult(RC_FOUND_TV));
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Found in COM3's first tick (≈0.3 s), or at worst in its second (≈1.1 s).
        EXPECT_LT(elapsed, 1.3);
        EXPECT_EQ(events.StatusTexts().back(), "Device detected on COM3");
        EXPECT_EQ(events.Serials(), (std::vector<std::string>{"TV445566\n"}));
        EXPECT_EQ(test::SettledThreadCount(before.threads + 1),
                  before.threads + 1);  // COM3's receiver alone
    }
    const Footprint after;
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads);
}

TEST_F(RealLinkTest, OsJobProgramsBothRegions) {
    const std::string log = test::TempLog("os-job");
    auto device =
        StartDevice(2, GreetingOnce({"--kind", "OS", "--star", "--erase-ms", "600", "--block-ms",
                                     "15", "--log", log, "--exit-after-run"}));
    const Footprint before;
    EXPECT_EQ(RunJob(SmallOsImage()), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device->Wait(), 0);
    const std::string report = test::Slurp(log);
    EXPECT_NE(report.find("final programmed"), std::string::npos) << report;
    EXPECT_NE(report.find("error none"), std::string::npos);
    EXPECT_EQ(Footprint().descriptors, before.descriptors);
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads);
}

TEST_F(RealLinkTest, TvJobProgramsBothRegions) {
    const std::string log = test::TempLog("tv-job");
    auto device = StartDevice(1, {"--kind", "TV", "--erase-ms", "600", "--first-greeting-ms", "300",
                                  "--greeting-ms", "3000", "--log", log, "--exit-after-run"});
    EXPECT_EQ(RunJob(test::SmallTvTestImage()), MakeResult(RC_SUCCESS));
    EXPECT_EQ(device->Wait(), 0);
    EXPECT_NE(test::Slurp(log).find("final programmed"), std::string::npos);
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Tarvik"}));
}

TEST_F(RealLinkTest, DeviceErrorAndCrcMismatchReachTheResult) {
    {
        auto device = StartDevice(
            4, {"--kind", "TV", "--erase-ms", "600", "--first-greeting-ms", "300", "--greeting-ms",
                "3000", "--error-at", "region0:512", "--error-code", "0x4242"});
        EXPECT_EQ(RunJob(test::DemoTestImage()), MakeResult(RC_DEVICE_ERROR, 0x4242));
    }
    {
        auto device = StartDevice(4, GreetingOnce({"--kind", "OS", "--erase-ms", "600",
                                                   "--block-ms", "15", "--wrong-crc-block", "3"}));
        events.Clear();
        EXPECT_EQ(RunJob(SmallOsImage()), MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH));
    }
}

TEST_F(RealLinkTest, UnpluggedDeviceEndsByTheWaitLimitWithTheCpuIdle) {
    auto device = StartDevice(1, GreetingOnce({"--kind", "OS", "--erase-ms", "600", "--block-ms",
                                               "15", "--disconnect-after", "2000"}));
    const Footprint before;
    const std::clock_t cpuBefore = std::clock();
    EXPECT_EQ(RunJob(SmallOsImage()), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    // The lower block wait gives up 100 ticks after the last acknowledgement.
    EXPECT_LT(seconds, 4.0);
    EXPECT_LT(cpuSeconds, seconds * 0.5);
    EXPECT_EQ(Footprint().descriptors, before.descriptors);
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads);
}

}  // namespace
}  // namespace norvane
