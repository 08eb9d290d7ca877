#include "bench/BenchSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

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
    std::map<std::string, std::string> set;
    for (const std::string& entry : extraEnvironment) {
        const size_t equals = entry.find('=');
        set[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
    }
    test::ChildOptions options;
    options.environment = test::EnvironmentWith(set);
    if (stdio >= 0) {
        options.input = test::ChildStream::ToDescriptor(stdio);
        options.output = test::ChildStream::ToDescriptor(stdio);
        options.errors = test::ChildStream::ToFile("/dev/null");
    } else {
        options.output = test::ChildStream::ToPipe();
    }
    options.folder = folder;
    process_ = test::ChildProcess(args, options);
    return process_.Started();
}

Child::~Child() = default;  // a child still running is killed

std::string Child::ReadLine(int timeoutMs) {
    return process_.ReadLine(std::chrono::milliseconds(timeoutMs));
}

int Child::Wait(int timeoutMs) {
    return process_.Wait(std::chrono::milliseconds(timeoutMs)).value_or(-1);
}

int Child::Stop() {
    return process_.Stop(std::chrono::seconds(10)).value_or(-1);
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
    return StatCpuSeconds("/proc/" + std::to_string(Pid()) + "/stat");
}

double Child::MainThreadCpuSeconds() const {
    return StatCpuSeconds("/proc/" + std::to_string(Pid()) + "/task/" + std::to_string(Pid()) +
                          "/stat");
}

long Child::PeakRssKiB() const {
    return StatusField("/proc/" + std::to_string(Pid()) + "/status", "VmHWM:");
}

long Child::RssKiB() const {
    return StatusField("/proc/" + std::to_string(Pid()) + "/status", "VmRSS:");
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
