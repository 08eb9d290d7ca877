// Waiting for a condition in a test: the limit is only an upper bound for a busy machine, never
// the time the test expects things to take.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace norvane::test {

// True as soon as `condition` holds (looked at every millisecond); false once `timeout` has
// passed without it.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace norvane::test
