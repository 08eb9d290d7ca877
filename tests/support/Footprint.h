// Descriptors and threads of this process, to check that a run leaves nothing behind.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <thread>

namespace norvane::test {

inline size_t CountEntries(const char* folder) {
    size_t count = 0;
    if (DIR* dir = opendir(folder)) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

struct Footprint {
    size_t descriptors = CountEntries("/proc/self/fd");
    size_t threads = CountEntries("/proc/self/task");
};

// Sanitizers start a helper thread along with the first thread of the process; call this
// before the first count so that thread is there already.
inline void SettleSanitizerThreads() {
    std::thread([] {}).join();
}

}  // namespace norvane::test
