// Real time running `factor` times faster: the search's 30 seconds pass in a few, while the
// serial code and the receivers work in real time. For whole jobs over pseudo-terminals whose
// outcome is the end of a long wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/Clock.h"

namespace norvane::test {

class FastClock final : public Clock {
public:
    explicit FastClock(uint32_t factor) : factor_(factor) {}

    uint32_t TickCount() override {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * factor_ /
            1000);
    }
    void Sleep(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::microseconds(1000ull * milliseconds / factor_));
    }
    uint64_t NowMicros() const override {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<uint64_t>(
                   std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) *
               factor_;
    }
    void SleepUntilMicros(uint64_t moment) override {
        const uint64_t now = NowMicros();
        if (moment > now) {
            std::this_thread::sleep_for(std::chrono::microseconds((moment - now) / factor_));
        }
    }

private:
    const uint32_t factor_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace norvane::test
