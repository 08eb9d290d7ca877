// A JobEventSink for tests: keeps every event with the virtual time it was posted, and lists
// them by kind.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/JobEvents.h"
#include "platform/Clock.h"

namespace norvane::test {

struct RecordedEvent {
    JobEvent event;
    uint32_t tick = 0;  // the clock's tick count when it was posted
};

class RecordingSink final : public JobEventSink {
public:
    explicit RecordingSink(Clock* clock = nullptr) : clock_(clock) {}

    void Post(JobEvent event) override {
        std::lock_guard lock(mutex_);
        events_.push_back({std::move(event), clock_ ? clock_->TickCount() : 0});
    }

    std::vector<RecordedEvent> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // Every event of one kind, in order.
    template <typename Kind>
    std::vector<Kind> All() const {
        std::vector<Kind> found;
        for (const auto& recorded : Events()) {
            if (const auto* event = std::get_if<Kind>(&recorded.event.what)) {
                found.push_back(*event);
            }
        }
        return found;
    }
    std::vector<std::string> StatusTexts() const {
        std::vector<std::string> texts;
        for (const auto& phase : All<JobEvent::Phase>()) {
            texts.push_back(phase.text);
        }
        return texts;
    }
    std::vector<int32_t> Ranges() const {
        std::vector<int32_t> ranges;
        for (const auto& phase : All<JobEvent::Phase>()) {
            ranges.push_back(phase.range);
        }
        return ranges;
    }
    // The positions of Progress events (a phase's own start position not among them).
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> positions;
        for (const auto& progress : All<JobEvent::Progress>()) {
            positions.push_back(progress.position);
        }
        return positions;
    }
    std::vector<std::string> Versions() const {
        std::vector<std::string> texts;
        for (const auto& version : All<JobEvent::Version>()) {
            texts.push_back(version.text);
        }
        return texts;
    }
    // The second text the job ended with; empty before its end.
    std::string Detail() const {
        const auto done = All<JobEvent::Done>();
        return done.empty() ? std::string() : done.back().detail;
    }
    // The serial numbers of the devices found (of a kind the program knows), as sent.
    std::vector<std::string> Serials() const {
        std::vector<std::string> serials;
        for (const auto& found : All<JobEvent::Found>()) {
            if (found.kind != IMAGE_INVALID) {
                serials.push_back(found.serial);
            }
        }
        return serials;
    }
    std::vector<std::string> DeviceNames() const {
        std::vector<std::string> names;
        for (const auto& found : All<JobEvent::Found>()) {
            names.push_back(found.displayName);
        }
        return names;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    Clock* clock_;
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
};

}  // namespace norvane::test
