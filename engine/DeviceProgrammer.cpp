#include "engine/DeviceProgrammer.h"

#include "platform/NotifyWindow.h"

namespace norvane {
namespace {

constexpr uint32_t kSearchBaud = 9600;
// How long a stream may still be in transit once the device has acknowledged it.
constexpr uint32_t kStreamDrainLimitMs = 1000;

}  // namespace

FlashResult OtherRecordOutcome(ReplyKind kind, const char* record) {
    if (kind == REPLY_ERROR) {
        return MakeResult(RC_DEVICE_ERROR, ErrorCodeOf(record));
    }
    return MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
}

DeviceProgrammer::DeviceProgrammer(PortFactory createPort, Clock& clock,
                                   const CMultiStrings& strings)
    : createPort_(std::move(createPort)), clock_(clock), strings_(strings) {}

DeviceProgrammer::~DeviceProgrammer() {
    for (int n = 1; n <= kPortCount; ++n) {
        CloseSlot(n);
    }
}

void DeviceProgrammer::OpenSlot(int n) {
    PortSlot& slot = slots[n];
    slot.port.reset();
    slot.port = createPort_ ? createPort_() : nullptr;
    if (!slot.port) {
        return;
    }
    const std::string name = "COM" + std::to_string(n);
    if (!slot.port->Open(name.c_str(), kSearchBaud, "8N1", MODE_RECEIVER)) {
        slot.port.reset();
        return;
    }
    slot.ring.reset(new uint8_t[kRingSize]);
    slot.readIndex = 0;
    slot.writeIndex.store(0, std::memory_order_relaxed);
    if (!slot.port->StartReceiver(slot.ring.get(), kRingSize, &slot.writeIndex)) {
        CloseSlot(n);
    }
}

void DeviceProgrammer::CloseSlot(int n) {
    if (n == 0) {
        if (activeSlot.port == nullptr) {
            return;
        }
        for (int k = 1; k <= kPortCount; ++k) {
            if (slots[k].port.get() == activeSlot.port) {
                activeSlot.port = nullptr;
                activeSlot.ring = nullptr;
                CloseSlot(k);
                return;
            }
        }
        return;
    }
    PortSlot& slot = slots[n];
    if (slot.port) {
        slot.port->Close();  // stops the receiver before the ring goes
        slot.port.reset();
    }
    slot.ring.reset();
}

void DeviceProgrammer::PostText(uint32_t target, std::string_view text) {
    if (notifyWindow) {
        notifyWindow->PostText(target, text);
    }
}

void DeviceProgrammer::PostProgress(uint32_t kind, int32_t value) {
    if (notifyWindow) {
        notifyWindow->PostProgress(kind, value);
    }
}

void DeviceProgrammer::WaitForDeadline(uint32_t deadline) {
    // Sleeping straight to the deadline ends the wait at the same tick as polling the tick
    // count every millisecond would, with one wake-up instead of a hundred.
    uint32_t now = clock_.TickCount();
    do {
        const uint32_t left = DeadlineReached(now, deadline) ? 1 : deadline - now;
        clock_.Sleep(left);
        now = clock_.TickCount();
    } while (!DeadlineReached(now, deadline));
}

ReplyKind DeviceProgrammer::ScanActive(const char** record) {
    return ScanReply(activeSlot.readIndex, activeSlot.writeIndex, activeSlot.ring, kRingSize,
                     record);
}

void DeviceProgrammer::DropPendingInput() {
    *activeSlot.readIndex = activeSlot.writeIndex->load(std::memory_order_acquire);
}

void DeviceProgrammer::RunWait(FlashResult& state, ResultCode phase, uint32_t firstDeadline,
                               uint32_t period, const std::atomic<int>* abortFlag,
                               const RecordHandler& onRecord, const TickHandler& afterWait) {
    uint32_t deadline = firstDeadline;
    while (state == phase) {
        const char* record = nullptr;
        const ReplyKind kind = ScanActive(&record);
        onRecord(kind, record);
        WaitForDeadline(deadline);
        deadline += period;
        afterWait();
        if (abortFlag && abortFlag->load(std::memory_order_relaxed) != 0) {
            state = MakeResult(RC_INTERRUPTED);
        }
    }
}

void DeviceProgrammer::WaitForRecord(FlashResult& state, ResultCode phase, ReplyKind expected,
                                     FlashResult next, uint32_t firstDeadline, uint32_t period,
                                     int32_t& counter, int32_t limit, FlashResult limitResult,
                                     const std::atomic<int>* abortFlag) {
    RunWait(
        state, phase, firstDeadline, period, abortFlag,
        [&](ReplyKind kind, const char* record) {
            if (kind == expected) {
                state = next;
            } else if (kind != REPLY_NONE) {
                state = OtherRecordOutcome(kind, record);
            }
        },
        [&] {
            PostProgress(ProgressSetPosition, ++counter);
            if (counter == limit) {
                state = limitResult;
            }
        });
}

bool DeviceProgrammer::AwaitStreamWrittenOut() {
    const uint32_t deadline = clock_.TickCount() + kStreamDrainLimitMs;
    while (activeSlot.port->TransferInProgress()) {
        if (DeadlineReached(clock_.TickCount(), deadline)) {
            return false;
        }
        clock_.Sleep(1);
    }
    return true;
}

}  // namespace norvane
