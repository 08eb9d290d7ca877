#include "app/JobMailbox.h"

namespace norvane {

void JobMailbox::Post(JobEvent event) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(event));
    }
    posted_.notify_all();
    if (wake_) {
        wake_();
    }
}

std::optional<JobEvent> JobMailbox::TryTake() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        return std::nullopt;
    }
    JobEvent event = std::move(queue_.front());
    queue_.pop_front();
    return event;
}

std::optional<JobEvent> JobMailbox::Take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [this] { return !queue_.empty() || nudged_; });
    nudged_ = false;
    if (queue_.empty()) {
        return std::nullopt;
    }
    JobEvent event = std::move(queue_.front());
    queue_.pop_front();
    return event;
}

void JobMailbox::Nudge() {
    {
        std::lock_guard lock(mutex_);
        nudged_ = true;
    }
    posted_.notify_all();
}

}  // namespace norvane
