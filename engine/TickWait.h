// Every wait for the device is a loop of ticks on a fixed grid of deadlines, with one scan of
// the active slot's ring per tick and a tick limit that ends the wait with a result.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/PortBank.h"
#include "engine/Results.h"
#include "engine/StatusPoster.h"
#include "platform/Clock.h"

namespace norvane {

// The outcome of a record that a wait does not wait for: the device's code for "ERROR",
// RC_INVALID_REPLY with the record's kind for anything else.
FlashResult OtherRecordOutcome(ReplyKind kind, const char* record);

// True when the job has been asked to stop.
inline bool AbortRequested(const std::atomic<int>* abortFlag) {
    return abortFlag && abortFlag->load(std::memory_order_relaxed) != 0;
}

class TickWait {
public:
    TickWait(Clock& clock, PortBank& ports, StatusPoster& status)
        : clock_(clock), ports_(ports), status_(status) {}

    uint32_t Now() { return clock_.TickCount(); }
    void Sleep(uint32_t milliseconds) { clock_.Sleep(milliseconds); }
    // Sleeps at least once (1 ms when the deadline has passed), until the tick count reaches
    // `deadline`.
    void UntilDeadline(uint32_t deadline);

    // A record handed to a wait: its kind (REPLY_NONE when none completed) and its text.
    using RecordHandler = std::function<void(ReplyKind, const char*)>;
    using TickHandler = std::function<void()>;
    // Ticks of a wait on the active slot, on a grid of deadlines from `firstDeadline`: scan,
    // act on the record, wait for the tick's deadline (unless the record has ended the phase),
    // then the phase's counter, end and limit steps, then the abort flag; while `state` still
    // holds `phase`. Within a tick a later
    // store replaces an earlier one: a success is overruled by the tick limit or an abort in
    // the same tick, since the user was already told (or asked) that the run is over.
    // A line that hangs up ends the wait at once with `atLimit`, the result its tick limit
    // would have given: nothing more can come, and the progress stays where it was.
    void RunWait(FlashResult& state, FlashResult phase, uint32_t firstDeadline, uint32_t period,
                 const std::atomic<int>* abortFlag, const RecordHandler& onRecord,
                 const TickHandler& afterWait, FlashResult atLimit);

    // A wait for one record kind.
    struct RecordWait {
        FlashResult phase;   // the wait runs while the state holds it
        ReplyKind expected;  // this record stores `next`; any other ends the run
        FlashResult next;
        uint32_t firstDeadline;
        uint32_t period;
        int32_t limit;  // ticks; then `limitResult` is stored
        FlashResult limitResult;
    };
    // After each tick `counter` goes up by one and is posted as the progress position.
    void WaitForRecord(FlashResult& state, const RecordWait& wait, int32_t& counter,
                       const std::atomic<int>* abortFlag);

    // Waits until the stream written without waiting has left the active port; false when it
    // is still in transit after a generous limit (the link is then stalled).
    bool AwaitStreamWrittenOut();

private:
    Clock& clock_;
    PortBank& ports_;
    StatusPoster& status_;
};

}  // namespace norvane
