// One run of the programming job for the console: the job posts its messages here from its
// worker thread; the console's main thread prints them, in order, until the job's last one.
// The worker never waits for the terminal: a slow reader of the output only delays the
// printing, never a wait for the device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "app/ProgrammerDlg.h"
#include "app/console/ConsoleReport.h"
#include "platform/NotifyWindow.h"

namespace norvane {

class ConsoleSession final : public NotifyWindow {
public:
    explicit ConsoleSession(ConsoleReport& report) : report_(report) {}
    ~ConsoleSession() override;  // stops and joins a job still running
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    void Start(JobRunner runner);
    // Prints what the job posts until its end; the final result.
    FlashResult PrintUntilDone();
    // The user's abort, from any thread: the job stops at its next tick, as after Esc.
    void RequestAbort() { abortFlag_ = 1; }

    void Post(ProgMessage message) override;

private:
    ConsoleReport& report_;
    std::atomic<int> abortFlag_{0};
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<ProgMessage> queue_;
};

}  // namespace norvane
