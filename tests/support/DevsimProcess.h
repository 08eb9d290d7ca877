// norvane-devsim as a child process: started with its options, its pseudo-terminal's path
// read from its first line of output, optionally spoken to through that terminal.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace norvane::test {

// The program's path comes from the build (NORVANE_DEVSIM_PATH).
class Devsim {
public:
    explicit Devsim(std::vector<std::string> args) {
        args.insert(args.begin(), NORVANE_DEVSIM_PATH);
        ChildOptions options;
        options.output = ChildStream::ToPipe();
        process_ = ChildProcess(args, options);
    }
    ~Devsim() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }  // the process is killed if still running

    // The first line of the child's stdout: the terminal's path.
    std::string ReadPath(int timeoutMs = 5000) {
        return process_.ReadLine(std::chrono::milliseconds(timeoutMs));
    }
    // Reads the lines after the path until one equals `line` (with `--phases`, "phase <name>"
    // when the device enters a phase); false when none does within `timeoutMs`.
    bool WaitForLine(const std::string& line, int timeoutMs = 10'000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (process_.ReadLine(left) == line) {
                return true;
            }
        }
        return false;
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
    // How the child ended (ChildProcess::Wait); none while it runs after `timeoutMs`.
    std::optional<int> Wait(int timeoutMs = 5000) {
        return process_.Wait(std::chrono::milliseconds(timeoutMs));
    }
    void Signal(int sig) { process_.Signal(sig); }
    // User plus system CPU time of the child so far, in clock ticks.
    long CpuTicks() const {
        std::ifstream stat("/proc/" + std::to_string(process_.Pid()) + "/stat");
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
    bool Started() const { return process_.Started(); }
    bool HungUp() const { return hungUp_; }

private:
    ChildProcess process_;
    int fd_ = -1;
    bool hungUp_ = false;
};

// A fresh path for a report of this test process.
inline std::string TempLog(const char* name) {
    return testing::TempDir() + "devsim-" + name + "-" + std::to_string(getpid()) + ".log";
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace norvane::test
