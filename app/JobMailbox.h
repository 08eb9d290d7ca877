// The job events on their way to the front end's thread: jobs post from their own threads, the
// front end takes them in order. One mailbox may serve several jobs; each event names its job.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "engine/JobEvents.h"

namespace norvane {

class JobMailbox final : public JobEventSink {
public:
    // Called after each posted event, on the posting thread, to wake the front end's loop (a
    // Glib::Dispatcher, a window message). Set before any job starts.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }

    void Post(JobEvent event) override;

    // The oldest event, if any, at once.
    std::optional<JobEvent> TryTake();
    // The oldest event, waiting up to `timeout` for one; none after the time or a Nudge.
    std::optional<JobEvent> Take(std::chrono::milliseconds timeout);
    // Ends a Take that is waiting now (a signal to look at, a redraw due).
    void Nudge();

private:
    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<JobEvent> queue_;
    bool nudged_ = false;
};

}  // namespace norvane
