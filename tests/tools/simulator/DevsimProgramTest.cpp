// The standalone program norvane-devsim, run as a child process and spoken to through the
// pseudo-terminal whose path it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/DevsimProcess.h"
#include "tests/tools/simulator/SimTestSupport.h"
#include "tools/simulator/DevsimOptions.h"

namespace norvane::sim {
namespace {

using norvane::test::Devsim;
using norvane::test::Slurp;
using norvane::test::TempLog;

TEST(DevsimProgram, PrintsAPtyPathGreetsThereAndStopsCleanlyOnSigterm) {
    const std::string log = TempLog("greet");
    Devsim sim({"--kind", "TV", "--serial", "TV1234567", "--greeting-ms", "50", "--log", log});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadPath();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    ASSERT_TRUE(sim.OpenTerminal(path));
    // Whatever fragment was already waiting, a whole greeting follows within two periods.
    std::string got = sim.Read(48, 3000);
    const size_t at = got.find("READYTVTV123456\n");
    EXPECT_NE(at, std::string::npos) << got;
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    const std::string report = Slurp(log);
    EXPECT_NE(report.find("final greeting"), std::string::npos) << report;
    EXPECT_NE(report.find("error none"), std::string::npos);
    std::remove(log.c_str());
}

TEST(DevsimProgram, GreetingsWhileNobodyListensAreLostAndWaitingDoesNotSpin) {
    Devsim sim({"--kind", "GM", "--greeting-ms", "40"});
    const std::string path = sim.ReadPath();
    ASSERT_FALSE(path.empty());
    const long before = sim.CpuTicks();
    usleep(600'000);  // 15 greeting periods without a host
    EXPECT_LT(sim.CpuTicks() - before, 15) << "the simulator busy-waits for its host";
    ASSERT_TRUE(sim.OpenTerminal(path));
    EXPECT_LE(sim.ReadNow().size(), 16u) << "old greetings piled up for the host";
    EXPECT_NE(sim.Read(32, 2000).find("READYGM"), std::string::npos);
}

// What the real-time tests rely on: one greeting, to the host that opened the line and stays,
// none to one that only looked at the line's settings.
TEST(DevsimProgram, GreetOnOpenGreetsTheHostThatStaysOnce) {
    const std::string log = TempLog("greet-on-open");
    Devsim sim(
        {"--kind", "TV", "--greet-on-open", "--first-greeting-ms", "50", "--phases", "--log", log});
    const std::string path = sim.ReadPath();
    close(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));  // a moment's look
    ASSERT_TRUE(sim.OpenTerminal(path));
    EXPECT_EQ(sim.Read(16, 10'000), "READYTV1234567 \n");
    sim.Write("START");
    ASSERT_TRUE(sim.WaitForLine("phase erasing"));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(Slurp(log).find("greetings 1\n"), std::string::npos) << Slurp(log);
    std::remove(log.c_str());
}

TEST(DevsimProgram, ChecksumRunOverThePtyEndsTheProgramWithExitAfterRun) {
    const std::string log = TempLog("checksum");
    Devsim sim({"--kind", "GM", "--serial", "GM0000001", "--erase-ms", "50", "--first-greeting-ms",
                "100000", "--exit-after-run", "--linger-ms", "50", "--log", log});
    const std::string path = sim.ReadPath();
    ASSERT_TRUE(sim.OpenTerminal(path));
    sim.Write("START");
    EXPECT_EQ(sim.Read(16), "ERASED         \n");
    const auto s = test::BuildChecksumStream(test::Pattern(0x100, 30), {});
    sim.Write(s.lengths);
    sim.Write(s.region0);
    sim.Write(s.totals);
    EXPECT_EQ(sim.Read(16), "PROGRAMMED     \n");
    EXPECT_EQ(sim.Wait(), 0);
    const std::string report = Slurp(log);
    EXPECT_NE(report.find("final programmed"), std::string::npos) << report;
    EXPECT_NE(report.find("phase region0 "), std::string::npos);
    EXPECT_NE(report.find("bytes=" + HexOf(s.region0)), std::string::npos);
    std::remove(log.c_str());
}

TEST(DevsimProgram, BlockCrcRunSeesTheSpeedTheHostSets) {
    const std::string log = TempLog("blockcrc");
    // The host switches once the device has taken "START" (at 9600) and before the erase is
    // over (its reply comes at 115200): a second of erase leaves a busy machine time enough.
    Devsim sim({"--kind", "OS", "--erase-ms", "1000", "--first-greeting-ms", "100000", "--log", log,
                "--phases"});
    ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
    sim.Write("START");
    ASSERT_TRUE(sim.WaitForLine("phase erasing"));
    sim.SetSpeed(B115200);
    EXPECT_EQ(sim.Read(16), "ERASED         \n");
    std::vector<uint8_t> stream;
    test::PutLe32(stream, 0);
    test::PutLe32(stream, 0x100);
    const auto lower = test::Pattern(0x100, 31);
    stream.insert(stream.end(), lower.begin(), lower.end());
    sim.Write(stream);
    std::string crc = "CRC" + std::to_string(test::ReferenceCrc(lower, 0, 256));
    crc.resize(15, ' ');
    EXPECT_EQ(sim.Read(16), crc + "\n");
    sim.Write(std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(sim.Read(16), "PROGRAMMED     \n");
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(), 0);
    const std::string report = Slurp(log);
    EXPECT_NE(report.find("phase greeting at="), std::string::npos);
    EXPECT_NE(report.find("speeds=9600 count=5 bytes=5354415254"), std::string::npos) << report;
    EXPECT_NE(report.find("phase header at="), std::string::npos);
    EXPECT_NE(report.find("speeds=115200 count=8 bytes=0000000000010000"), std::string::npos)
        << report;
    std::remove(log.c_str());
}

// The time from entering `phase` to entering the phase after it, from the report.
uint64_t PhaseEntry(const std::string& report, const std::string& phase) {
    const size_t at = report.find("phase " + phase + " at=");
    if (at == std::string::npos) {
        return 0;
    }
    return std::stoull(report.substr(at + phase.size() + 10));
}

TEST(DevsimProgram, PacedLineTakesTheHostsBytesNoFasterThanTheWireAtEachSpeed) {
    const std::string log = TempLog("paced");
    Devsim sim({"--kind", "OS", "--pace", "--erase-ms", "1000", "--first-greeting-ms", "100000",
                "--log", log, "--phases"});
    ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
    // 96 bytes at 9600 in one write: 100 ms on the wire. The device stays in the greeting
    // phase until "START" has arrived in full, so the phase after it starts no earlier. The
    // host switches to 115200 once the device is erasing, a second before its reply.
    std::string greeting(91, 'x');
    sim.Write(greeting + "START");
    ASSERT_TRUE(sim.WaitForLine("phase erasing"));
    sim.SetSpeed(B115200);
    EXPECT_EQ(sim.Read(16), "ERASED         \n");
    // 16 blocks at 115200 in one write: 4104 bytes, 356 ms on the wire.
    std::vector<uint8_t> stream;
    test::PutLe32(stream, 0);
    test::PutLe32(stream, 0x1000);
    const auto lower = test::Pattern(0x1000, 7);
    stream.insert(stream.end(), lower.begin(), lower.end());
    sim.Write(stream);
    for (int block = 0; block < 16; ++block) {
        std::string crc = "CRC" + std::to_string(test::ReferenceCrc(lower, 256 * block, 256));
        crc.resize(15, ' ');
        EXPECT_EQ(sim.Read(16), crc + "\n") << block;
    }
    sim.Write(std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(sim.Read(16), "PROGRAMMED     \n");
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    const std::string report = Slurp(log);
    EXPECT_NE(report.find("speeds=9600 count=96 "), std::string::npos) << report;
    EXPECT_NE(report.find("speeds=115200 count=8 "), std::string::npos) << report;
    EXPECT_NE(report.find("speeds=115200 count=4096 "), std::string::npos) << report;
    // The first byte left the host no earlier than the device powered on (time 0).
    EXPECT_GE(PhaseEntry(report, "erasing"), 100'000u) << report;
    // The header's first byte arrived a byte time after it was written, the lower region's
    // last byte 4104 byte times after that.
    EXPECT_GE(PhaseEntry(report, "end-marker") - PhaseEntry(report, "header"), 356'250u - 87)
        << report;
    std::remove(log.c_str());
}

TEST(DevsimProgram, WrongSpeedIsReportedAndDisconnectHangsUp) {
    {
        const std::string log = TempLog("speed");
        Devsim sim({"--kind", "TV", "--first-greeting-ms", "100000", "--log", log, "--phases"});
        ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
        sim.SetSpeed(B19200);
        // Bytes are judged at the speed the device last saw before they came.
        ASSERT_TRUE(sim.WaitForLine("speed 19200"));
        sim.Write("START");
        EXPECT_EQ(sim.Read(16).size(), 16u);  // an ERROR record, garbled by the speed mismatch
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_NE(Slurp(log).find("error 0x0101"), std::string::npos) << Slurp(log);
        std::remove(log.c_str());
    }
    {
        Devsim sim({"--kind", "GM", "--first-greeting-ms", "100000", "--disconnect-after", "3"});
        ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
        sim.Write("START");
        EXPECT_EQ(sim.Read(1, 3000), "");
        EXPECT_TRUE(sim.HungUp());
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(), 0);
    }
}

TEST(DevsimProgram, RejectsUnknownOptions) {
    Devsim sim({"--frobnicate"});
    EXPECT_EQ(sim.Wait(), 2);
}

TEST(DevsimOptions, ParsesDeviceAndFaultOptions) {
    DevsimOptions o;
    std::string error;
    ASSERT_TRUE(ParseDevsimOptions({"--kind",
                                    "OS",
                                    "--no-star",
                                    "--upper-length",
                                    "0x300",
                                    "--erase-ms",
                                    "900",
                                    "--error-at",
                                    "lower:3",
                                    "--error-code",
                                    "0x0E01",
                                    "--unexpected-at",
                                    "verifying",
                                    "--unexpected-text",
                                    "CRC7",
                                    "--noise",
                                    "ab\\n",
                                    "--slow-block",
                                    "4",
                                    "--slow-block-ms",
                                    "200",
                                    "--disconnect-after",
                                    "77",
                                    "--silent-from",
                                    "upper-erasing",
                                    "--no-line-feeds",
                                    "--pace",
                                    "--phases",
                                    "--greet-on-open"},
                                   &o, &error))
        << error;
    EXPECT_FALSE(o.config.star);
    EXPECT_FALSE(o.config.lineFeeds);
    EXPECT_TRUE(o.pace);
    EXPECT_TRUE(o.phases);
    EXPECT_TRUE(o.config.greetOnHostArrival);
    EXPECT_EQ(o.config.upperLength, 0x300u);
    EXPECT_EQ(o.config.eraseMicros, 900'000u);
    EXPECT_EQ(o.faults.errorAt->phase, Phase::Lower);
    EXPECT_EQ(o.faults.errorAt->index, 3u);
    EXPECT_EQ(o.faults.errorCode, 0x0E01);
    EXPECT_EQ(o.faults.unexpectedAt->phase, Phase::Verifying);
    EXPECT_EQ(o.faults.unexpectedText, "CRC7");
    EXPECT_EQ(o.faults.noise, "ab\n");
    EXPECT_EQ(o.faults.slowBlock, 4u);
    EXPECT_EQ(o.faults.slowBlockExtraMicros, 200'000u);
    EXPECT_EQ(o.faults.disconnectAfterBytes, 77u);
    EXPECT_EQ(o.faults.silentFrom, Phase::UpperErasing);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--kind", "OSX"},
                                                {"--erase-ms", "-1"},
                                                {"--error-at", "nowhere"},
                                                {"--error-code", "70000"},
                                                {"--log"},
                                                {"--slow-erase-phase", "lower"}}) {
        DevsimOptions x;
        EXPECT_FALSE(ParseDevsimOptions(bad, &x, &error)) << bad[0];
    }
}

}  // namespace
}  // namespace norvane::sim
