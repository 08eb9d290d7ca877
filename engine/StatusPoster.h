// What the engine tells the user while a job runs: its phases, the progress within them and
// the device it found, as typed events for the job's sink. Without a sink the events go
// nowhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/JobEvents.h"

namespace norvane {

class StatusPoster {
public:
    void SetSink(JobEventSink* sink, JobId job) {
        sink_ = sink;
        job_ = job;
    }

    // A new phase: its status text, with the progress bar over 0..`range` at `position`.
    void ShowPhase(std::string_view status, int32_t range, int32_t position = 0) {
        Post(JobEvent::Phase{std::string(status), range, position});
    }
    void PostProgress(int32_t position) { Post(JobEvent::Progress{position}); }
    void PostFound(JobEvent::Found found) { Post(std::move(found)); }

private:
    template <typename Event>
    void Post(Event event) {
        if (sink_) {
            sink_->Post({job_, std::move(event)});
        }
    }

    JobEventSink* sink_ = nullptr;
    JobId job_ = 0;
};

}  // namespace norvane
