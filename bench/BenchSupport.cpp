#include "bench/BenchSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace norvane::bench {

namespace {

long StatusField(const std::string& file, const char* name) {
    std::ifstream in(file);
    std::string line;
    const size_t length = std::strlen(name);
    while (std::getline(in, line)) {
        if (line.compare(0, length, name) == 0) {
            return std::atol(line.c_str() + length);
        }
    }
    return -1;
}

}  // namespace

bool Child::Start(const std::vector<std::string>& args,
                  const std::vector<std::string>& extraEnvironment, int stdio,
                  const std::string& folder) {
    std::vector<std::string> argStore(args);
    std::vector<char*> argv;
    for (auto& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        envStore.emplace_back(*e);
    }
    envStore.insert(envStore.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int out[2] = {-1, -1};
    if (stdio >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdio, 0);
        posix_spawn_file_actions_adddup2(&actions, stdio, 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    } else {
        if (pipe(out) != 0) {
            return false;
        }
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
    }
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (out[1] >= 0) {
        close(out[1]);
        stdout_ = out[0];
    }
    if (error != 0) {
        pid_ = -1;
        return false;
    }
    return true;
}

Child::~Child() {
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) {
        close(stdout_);
    }
}

std::string Child::ReadLine(int timeoutMs) {
    std::string line;
    while (line.empty() || line.back() != '\n') {
        pollfd p{stdout_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return "";
        }
        char c = 0;
        if (read(stdout_, &c, 1) != 1) {
            return "";
        }
        line += c;
    }
    line.pop_back();
    return line;
}

int Child::Wait(int timeoutMs) {
    if (ended_) {
        return status_;
    }
    if (pid_ <= 0) {
        return -1;
    }
    const double end = MonotonicSeconds() + timeoutMs / 1000.0;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            ended_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return status_;
        }
        if (MonotonicSeconds() >= end) {
            return -1;
        }
        usleep(1000);
    }
}

int Child::Stop() {
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGTERM);
    }
    return Wait(10'000);
}

namespace {

// User + system seconds from a /proc stat file.
double StatCpuSeconds(const std::string& file) {
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::atof(field.c_str());
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

double Child::CpuSeconds() const {
    return StatCpuSeconds("/proc/" + std::to_string(pid_) + "/stat");
}

double Child::MainThreadCpuSeconds() const {
    return StatCpuSeconds("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) +
                          "/stat");
}

long Child::PeakRssKiB() const {
    return StatusField("/proc/" + std::to_string(pid_) + "/status", "VmHWM:");
}

long Child::RssKiB() const {
    return StatusField("/proc/" + std::to_string(pid_) + "/status", "VmRSS:");
}

Pty OpenPty(unsigned speed) {
    Pty pty;
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        return pty;
    }
    char name[128] = {};
    ptsname_r(pty.master, name, sizeof name);
    pty.slavePath = name;
    termios settings{};
    if (tcgetattr(pty.master, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        tcsetattr(pty.master, TCSANOW, &settings);
    }
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return pty;
}

void ClosePty(Pty* pty) {
    if (pty->master >= 0) {
        close(pty->master);
        pty->master = -1;
    }
}

void SetPorts(const std::vector<std::string>& paths) {
    for (size_t n = 1; n <= 8; ++n) {
        const std::string value = n <= paths.size() ? paths[n - 1] : "";
        setenv(("NORVANE_COM" + std::to_string(n)).c_str(), value.c_str(), 1);
    }
}

double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ProcessPeakRssKiB() {
    return StatusField("/proc/self/status", "VmHWM:");
}

long ProcessRssKiB() {
    return StatusField("/proc/self/status", "VmRSS:");
}

DeviceLog ReadDeviceLog(const std::string& path) {
    DeviceLog log;
    std::ifstream in(path);
    std::string line;
    auto number = [](const std::string& text, const std::string& key) -> uint64_t {
        const size_t at = text.find(" " + key + "=");
        return at == std::string::npos
                   ? 0
                   : std::strtoull(text.c_str() + at + key.size() + 2, nullptr, 10);
    };
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "final") {
            words >> log.final;
        } else if (kind == "phase") {
            std::string name;
            words >> name;
            PhaseFigures& figures = log.phases[name];
            figures.at = number(line, "at");
            figures.count = number(line, "count");
            figures.first = number(line, "first");
            figures.last = number(line, "last");
        } else if (kind == "sent") {
            uint64_t at = 0;
            std::string phase, text;
            words >> at >> phase >> text;
            log.sent.emplace_back(at, text);
        } else if (kind == "received") {
            words >> log.received;
        }
    }
    return log;
}

double WireSeconds(uint64_t bytes, uint32_t speed) {
    return static_cast<double>(bytes) * 10.0 / speed;
}

std::string TempPath(const std::string& stem) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/norvane-bench-" + stem + "-" +
           std::to_string(getpid());
}

}  // namespace norvane::bench
