// Whole jobs over a line that takes the program's bytes no faster than the wire carries them
// (norvane-devsim --pace: 10 bits a byte at the speed the program has set), in real time. A
// pseudo-terminal holds about 20 KB before a writer blocks and reports an empty output queue
// all the while: a program that trusted the queue alone would run ahead of its wire and hand
// over the totals while the device is still receiving.
#include <gtest/gtest.h>

#include <chrono>

#include "serial/CommPort.h"
#include "tests/support/DevsimProcess.h"
#include "tests/support/RealLinkJob.h"
#include "tests/support/SimulatedJob.h"

namespace norvane {
namespace {

using test::Bytes;

class WireTest : public ::testing::Test, protected test::RealLinkJob {
protected:
    void SetUp() override { PrepareRealLink(); }

    FlashResult RunTimedJob(const Bytes& image) {
        const auto start = std::chrono::steady_clock::now();
        const FlashResult result = RunJob(image);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

    std::string Report(const std::string& log) {
        return "after " + std::to_string(seconds) + " s; device report:\n" + test::Slurp(log);
    }

    double seconds = 0;
};

// The demo image: 51,600 bytes of chunks and sums at 9600 baud, about 54 s on the wire.
TEST_F(WireTest, WholeDemoTvImageAt9600) {
    const std::string log = test::TempLog("wire-tv");
    auto device =
        StartDevsim(1, {"--kind", "TV", "--pace", "--erase-ms", "600", "--first-greeting-ms", "300",
                        "--greeting-ms", "3000", "--log", log, "--exit-after-run"});
    EXPECT_EQ(RunTimedJob(test::DemoTestImage()), MakeResult(RC_SUCCESS)) << Report(log);
    EXPECT_EQ(device->Wait(), 0);
    EXPECT_NE(test::Slurp(log).find("final programmed"), std::string::npos) << Report(log);
}

// 32 KiB below and 8 KiB above the first mebibyte at 115200 baud: each stream is one
// non-waiting write, and the upper erase and the end marker may not start before the stream
// before them has left the line.
TEST_F(WireTest, OsImageWithLowerAndUpperRegionAt115200) {
    const std::string log = test::TempLog("wire-os");
    auto device = StartDevsim(1, {"--kind", "OS", "--pace", "--star", "--erase-ms", "600",
                                  "--block-ms", "2", "--log", log, "--exit-after-run"});
    EXPECT_EQ(RunTimedJob(test::OsTestImage(0x2000, 0x7FFF, "OS 2.00", 5)), MakeResult(RC_SUCCESS))
        << Report(log);
    EXPECT_EQ(device->Wait(), 0);
    const std::string report = test::Slurp(log);
    EXPECT_NE(report.find("final programmed"), std::string::npos) << Report(log);
    EXPECT_NE(report.find("error none"), std::string::npos) << Report(log);
}

}  // namespace
}  // namespace norvane
