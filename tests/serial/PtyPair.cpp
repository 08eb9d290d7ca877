#include "tests/serial/PtyPair.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "tests/support/Footprint.h"

namespace norvane::test {

PtyPair::PtyPair() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    PointComPortsAt(slavePath);
    // Sanitizers start a helper thread along with the first thread of the process; have it
    // before any test counts threads.
    std::thread([] {}).join();
}

PtyPair::~PtyPair() {
    CloseMaster();
}

termios PtyPair::MasterSettings() const {
    termios settings{};
    tcgetattr(master, &settings);
    return settings;
}

void PtyPair::WriteToSlave(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(master, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("master write failed");
        } else {
            pollfd fd{master, POLLOUT, 0};
            poll(&fd, 1, 10);
        }
    }
}

std::vector<uint8_t> PtyPair::ReadFromSlave(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    uint8_t buffer[4096];
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        const size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = read(master, buffer, want);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        } else {
            pollfd fd{master, POLLIN, 0};
            poll(&fd, 1, 10);
        }
    }
    return got;
}

void PtyPair::CloseMaster() {
    if (master >= 0) {
        close(master);
        master = -1;
    }
}

void PointComPortsAt(const std::string& path) {
    setenv("NORVANE_COM1", path.c_str(), 1);
    for (int n = 2; n <= 8; ++n) {
        setenv(("NORVANE_COM" + std::to_string(n)).c_str(), "", 1);
    }
}

size_t OpenFdCount() {
    return CountEntries("/proc/self/fd");
}

size_t ThreadCount() {
    return CountEntries("/proc/self/task");
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<uint8_t> Pattern(size_t length, uint32_t seed) {
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

}  // namespace norvane::test
