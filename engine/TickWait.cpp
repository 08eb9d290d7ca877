#include "engine/TickWait.h"

namespace norvane {
namespace {

// How long a stream may still be in transit once the device has acknowledged it.
constexpr uint32_t kStreamDrainLimitMs = 1000;

}  // namespace

FlashResult OtherRecordOutcome(ReplyKind kind, const char* record) {
    if (kind == REPLY_ERROR) {
        return MakeResult(RC_DEVICE_ERROR, ErrorCodeOf(record));
    }
    return MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
}

void TickWait::UntilDeadline(uint32_t deadline) {
    // Sleeping straight to the deadline ends the wait at the same tick as polling the tick
    // count every millisecond would, with one wake-up instead of a hundred.
    uint32_t now = clock_.TickCount();
    do {
        const uint32_t left = DeadlineReached(now, deadline) ? 1 : deadline - now;
        clock_.Sleep(left);
        now = clock_.TickCount();
    } while (!DeadlineReached(now, deadline));
}

void TickWait::RunWait(FlashResult& state, FlashResult phase, uint32_t firstDeadline,
                       uint32_t period, const std::atomic<int>* abortFlag,
                       const RecordHandler& onRecord, const TickHandler& afterWait,
                       FlashResult atLimit) {
    uint32_t deadline = firstDeadline;
    while (state == phase) {
        const char* record = nullptr;
        const ReplyKind kind = ports_.ScanActive(&record);
        onRecord(kind, record);
        if (state == phase && ports_.LineGone(ports_.ActiveSlot())) {
            state = atLimit;
            return;
        }
        // Once a record has settled the wait, the rest of the tick would only be our own idle
        // time: the device has answered. The tick's steps still run, so a limit or an abort
        // in it overrules the record as before.
        if (state == phase) {
            UntilDeadline(deadline);
        }
        deadline += period;
        afterWait();
        if (AbortRequested(abortFlag)) {
            state = MakeResult(RC_INTERRUPTED);
        }
    }
}

void TickWait::WaitForRecord(FlashResult& state, const RecordWait& wait, int32_t& counter,
                             const std::atomic<int>* abortFlag) {
    RunWait(
        state, wait.phase, wait.firstDeadline, wait.period, abortFlag,
        [&](ReplyKind kind, const char* record) {
            if (kind == wait.expected) {
                state = wait.next;
            } else if (kind != REPLY_NONE) {
                state = OtherRecordOutcome(kind, record);
            }
        },
        [&] {
            status_.PostProgress(++counter);
            if (counter == wait.limit) {
                state = wait.limitResult;
            }
        },
        wait.limitResult);
}

bool TickWait::AwaitStreamWrittenOut() {
    SerialPort* const port = ports_.ActivePort();
    const uint32_t deadline = clock_.TickCount() + kStreamDrainLimitMs;
    while (port->TransferInProgress()) {
        if (DeadlineReached(clock_.TickCount(), deadline)) {
            return false;
        }
        clock_.Sleep(1);
    }
    return true;
}

}  // namespace norvane
