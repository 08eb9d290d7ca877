// norvane-devsim as a child process: started with its options, its pseudo-terminal's path
// read from its first line of output, optionally spoken to through that terminal.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace norvane::test {

// The program's path comes from the build (NORVANE_DEVSIM_PATH).
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
