// The standalone program norvane-devsim, run as a child process and spoken to through the
// pseudo-terminal whose path it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/simulator/SimTestSupport.h"
#include "tools/simulator/DevsimOptions.h"

extern char** environ;

namespace norvane::sim {
namespace {

class Devsim {
public:
    explicit Devsim(std::vector<std::string> args) {
        args.insert(args.begin(), NORVANE_DEVSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
    }
    ~Devsim() {
        if (fd_ >= 0) {
            close(fd_);
        }
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            close(stdout_);
        }
    }

    // The first line of the child's stdout.
    std::string ReadPath(int timeoutMs = 5000) {
        std::string line;
        while (line.empty() || line.back() != '\n') {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) {
                return "";
            }
            char c;
            if (read(stdout_, &c, 1) != 1) {
                return "";
            }
            line += c;
        }
        line.pop_back();
        return line;
    }

    bool OpenTerminal(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) {
            return false;
        }
        SetSpeed(B9600);
        return true;
    }
    void SetSpeed(speed_t speed) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        tcsetattr(fd_, TCSANOW, &t);
    }
    void Write(const std::string& s) {
        ASSERT_EQ(write(fd_, s.data(), s.size()), (ssize_t)s.size());
    }
    void Write(const std::vector<uint8_t>& s) {
        ASSERT_EQ(write(fd_, s.data(), s.size()), (ssize_t)s.size());
    }
    // Reads exactly `n` bytes within `timeoutMs`; fewer on time-out or hang-up.
    std::string Read(size_t n, int timeoutMs = 3000) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            char buffer[256];
            const ssize_t r = read(fd_, buffer, std::min(sizeof buffer, n - got.size()));
            if (r <= 0) {
                hungUp_ = true;
                break;
            }
            got.append(buffer, static_cast<size_t>(r));
        }
        return got;
    }
    // Waits for the child to end; its exit status, or -1.
    int Wait(int timeoutMs = 5000) {
        for (int i = 0; i < timeoutMs / 10; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10'000);
        }
        return -1;
    }
    void Signal(int sig) { kill(pid_, sig); }
    // User plus system CPU time of the child so far, in clock ticks.
    long CpuTicks() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i) {
            if (i == 14 || i == 15) {
                ticks += std::stol(field);
            }
        }
        return ticks;
    }
    // Bytes that can be read at once, without waiting.
    std::string ReadNow() {
        std::string got;
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
            char buffer[256];
            const ssize_t r = read(fd_, buffer, sizeof buffer);
            if (r <= 0) {
                break;
            }
            got.append(buffer, static_cast<size_t>(r));
        }
        return got;
    }
    bool Started() const { return pid_ > 0; }
    bool HungUp() const { return hungUp_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    bool hungUp_ = false;
};

std::string TempLog(const char* name) {
    return testing::TempDir() + "devsim-" + name + "-" + std::to_string(getpid()) + ".log";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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
    Devsim sim(
        {"--kind", "OS", "--erase-ms", "100", "--first-greeting-ms", "100000", "--log", log});
    ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
    sim.Write("START");
    usleep(30'000);
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

TEST(DevsimProgram, WrongSpeedIsReportedAndDisconnectHangsUp) {
    {
        const std::string log = TempLog("speed");
        Devsim sim({"--kind", "TV", "--first-greeting-ms", "100000", "--log", log});
        ASSERT_TRUE(sim.OpenTerminal(sim.ReadPath()));
        sim.SetSpeed(B19200);
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
                                    "--no-line-feeds"},
                                   &o, &error))
        << error;
    EXPECT_FALSE(o.config.star);
    EXPECT_FALSE(o.config.lineFeeds);
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
