#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "serial/PortLineRegistry.h"
#include "serial/SameDevice_posix.h"

namespace norvane {
namespace {

// Far more than the eight ports of a search and the odd test port.
constexpr int kEntries = 64;
constexpr size_t kNameBytes = 128;

struct Entry {
    std::atomic<bool> claimed{false};
    // -1 while the entry holds no port; published (release) after the fields below are in
    // place, and withdrawn before the port puts its own settings back and closes the
    // descriptor.
    std::atomic<int> fd{-1};
    termios found{};
    struct stat node {};
    char name[kNameBytes] = {};
};

Entry entries[kEntries];

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the registry is read from a signal handler");

}  // namespace

bool RegisterPortLine(int fd, const termios& found, const struct stat& node,
                      const std::string& name) {
    for (Entry& entry : entries) {
        bool expected = false;
        if (entry.claimed.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
            entry.found = found;
            entry.node = node;
            const size_t length = std::min(name.size(), kNameBytes - 1);
            std::memcpy(entry.name, name.data(), length);
            entry.name[length] = '\0';
            entry.fd.store(fd, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void UnregisterPortLine(int fd) {
    for (Entry& entry : entries) {
        int expected = fd;
        if (entry.fd.compare_exchange_strong(expected, -1, std::memory_order_acq_rel)) {
            entry.claimed.store(false, std::memory_order_release);
            return;
        }
    }
}

std::optional<std::string> OpenPortNamed(const struct stat& node) {
    for (const Entry& entry : entries) {
        if (entry.fd.load(std::memory_order_acquire) >= 0 && posix::SameDevice(entry.node, node)) {
            return std::string(entry.name);
        }
    }
    return std::nullopt;
}

void RestoreAllPortLines() {
    for (Entry& entry : entries) {
        const int fd = entry.fd.load(std::memory_order_acquire);
        if (fd >= 0) {
            tcsetattr(fd, TCSANOW, &entry.found);
            ioctl(fd, TIOCNXCL);
        }
    }
}

}  // namespace norvane
