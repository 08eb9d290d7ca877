// The device may hang on any of COM1 to COM8: all eight are opened with a receiver each and
// looked at in turn, one port per 100 ms tick, for at most 300 ticks, until a port delivers a
// complete record. A "READY" greeting names the device's kind and serial number.
#include <cstring>

#include "engine/DeviceProgrammer.h"
#include "platform/NotifyWindow.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

constexpr uint32_t kSearchTickMs = 100;
constexpr int32_t kSearchTicks = 300;
constexpr uint32_t kClosePauseMs = 100;

}  // namespace

void DeviceProgrammer::Detect(int n, const char* record, FlashResult& result) {
    PostText(TextStatus, FormatText(strings_.Text(IDS_DETECTED_ON), static_cast<long long>(n)));
    PostProgress(ProgressSetRange, 0);

    // The serial text runs from its position to the end of the record, a final line feed
    // included where the device sends one.
    const char* kind = record + 5;
    if (std::memcmp(kind, "TV", 2) == 0) {
        PostText(TextSerial, record + 7);
        PostText(TextDevice, strings_.Text(IDS_NAME_TV));
        result = MakeResult(RC_FOUND_TV);
    } else if (std::memcmp(kind, "GM", 2) == 0) {
        PostText(TextSerial, record + 7);
        PostText(TextDevice, strings_.Text(IDS_NAME_GM));
        result = MakeResult(RC_FOUND_GM);
    } else if (std::memcmp(kind, "OS", 2) == 0) {
        starFlag = (record[7] == '*') ? 1 : 0;
        PostText(TextSerial, record + 9);
        PostText(TextDevice, strings_.Text(IDS_NAME_OS));
        result = MakeResult(RC_FOUND_OS);
    } else {
        PostText(TextDevice, strings_.Text(IDS_UNKNOWN_DEVICE));
        result = MakeResult(RC_DEVICE_UNKNOWN);
    }

    for (int i = 1; i <= kPortCount; ++i) {
        if (i == n) {
            PortSlot& slot = slots[n];
            activeSlot = {slot.port.get(), slot.ring.get(), &slot.readIndex, &slot.writeIndex};
        } else {
            CloseSlot(i);
        }
    }
}

FlashResult DeviceProgrammer::SearchDevice(const std::atomic<int>* abortFlag) {
    for (int n = 1; n <= kPortCount; ++n) {
        OpenSlot(n);
    }
    PostText(TextStatus, strings_.Text(IDS_SEARCHING));
    PostProgress(ProgressSetRange, kSearchTicks);
    PostProgress(ProgressSetPosition, 0);

    int32_t tick = 0;
    uint32_t deadline = clock_.TickCount() + kSearchTickMs;
    FlashResult result = MakeResult(RC_SEARCHING);
    for (int n = 1; result == RC_SEARCHING; n = n % kPortCount + 1) {
        PortSlot& slot = slots[n];
        if (slot.port) {  // a closed slot spends its tick all the same
            const char* record = nullptr;
            const ReplyKind kind =
                ScanReply(&slot.readIndex, &slot.writeIndex, slot.ring.get(), kRingSize, &record);
            if (kind == REPLY_READY) {
                Detect(n, record, result);
            } else if (kind != REPLY_NONE) {
                result = MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
            }
        }
        WaitForDeadline(deadline);
        deadline += kSearchTickMs;
        PostProgress(ProgressSetPosition, ++tick);
        if (tick == kSearchTicks) {
            result = MakeResult(RC_NO_DEVICE);
        }
        if (abortFlag && abortFlag->load(std::memory_order_relaxed) != 0) {
            result = MakeResult(RC_INTERRUPTED);
        }
    }

    if (result == MakeResult(RC_NO_DEVICE) || result == MakeResult(RC_INTERRUPTED)) {
        // A detection in this very tick is overruled: its slot is closed with the others, so
        // the active slot must not name it any more.
        activeSlot = {};
        for (int i = 1; i <= kPortCount; ++i) {
            clock_.Sleep(kClosePauseMs);
            CloseSlot(i);
        }
    }
    return result;
}

}  // namespace norvane
