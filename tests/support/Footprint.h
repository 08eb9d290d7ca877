// Descriptors and threads of this process, to check that a run leaves nothing behind.
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstddef>
#include <thread>

namespace norvane::test {

// Entries of a /proc folder, "." and ".." left out.
inline size_t CountEntries(const char* folder) {
    size_t count = 0;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                ++count;
            }
        }
        closedir(dir);
    }
    return count;
}

struct Footprint {
    size_t descriptors = CountEntries("/proc/self/fd");
    size_t threads = CountEntries("/proc/self/task");
};

// The thread count once threads just joined have left /proc: a joined thread can still be
// listed for a moment. Waits up to ten seconds (a busy machine) for the count to come down to
// `expected`.
inline size_t SettledThreadCount(size_t expected) {
    for (int i = 0; i < 10'000; ++i) {
        const size_t count = CountEntries("/proc/self/task");
        if (count <= expected) {
            return count;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return CountEntries("/proc/self/task");
}

// Sanitizers start a helper thread along with the first thread of the process; call this
// before the first count so that thread is there already.
inline void SettleSanitizerThreads() {
    std::thread([] {}).join();
}

}  // namespace norvane::test
