// A NotifyWindow for tests: keeps every posted message with the virtual time it was posted.
#pragma once

#include <mutex>
#include <vector>

#include "platform/Clock.h"
#include "platform/NotifyWindow.h"

namespace norvane::test {

struct RecordedMessage {
    ProgMessage message;
    uint32_t tick = 0;  // the clock's tick count when it was posted
};

class RecordingWindow final : public NotifyWindow {
public:
    explicit RecordingWindow(Clock* clock = nullptr) : clock_(clock) {}

    void Post(ProgMessage message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({std::move(message), clock_ ? clock_->TickCount() : 0});
    }

    std::vector<RecordedMessage> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The texts posted to one label, in order.
    std::vector<std::string> Texts(uint32_t target) const {
        std::vector<std::string> texts;
        for (const auto& m : Messages()) {
            if (m.message.message == WM_PROG_TEXT && m.message.wParam == target) {
                texts.push_back(m.message.text);
            }
        }
        return texts;
    }
    // The values posted with WM_PROG_PROGRESS of one kind, in order.
    std::vector<int32_t> Progress(uint32_t kind) const {
        std::vector<int32_t> values;
        for (const auto& m : Messages()) {
            if (m.message.message == WM_PROG_PROGRESS && m.message.wParam == kind) {
                values.push_back(m.message.lParam);
            }
        }
        return values;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

private:
    Clock* clock_;
    mutable std::mutex mutex_;
    std::vector<RecordedMessage> messages_;
};

}  // namespace norvane::test
