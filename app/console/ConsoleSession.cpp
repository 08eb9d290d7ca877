#include "app/console/ConsoleSession.h"

namespace norvane {

ConsoleSession::~ConsoleSession() {
    abortFlag_ = 1;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void ConsoleSession::Start(JobRunner runner) {
    abortFlag_ = 0;
    auto* start = new JobStart{this, &abortFlag_};  // the job deletes it
    worker_ = std::thread([runner = std::move(runner), start] { runner(start); });
}

void ConsoleSession::Post(ProgMessage message) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(message));
    }
    posted_.notify_one();
}

FlashResult ConsoleSession::PrintUntilDone() {
    for (;;) {
        ProgMessage message;
        {
            std::unique_lock lock(mutex_);
            posted_.wait(lock, [this] { return !queue_.empty(); });
            message = std::move(queue_.front());
            queue_.pop_front();
        }
        if (message.message == WM_PROG_DONE) {
            // The job posts this last and returns right after it: every port is closed.
            worker_.join();
            report_.Finish(message.wParam);
            return message.wParam;
        }
        report_.Apply(message);
    }
}

}  // namespace norvane
