// Programming of a GM or TV device at 9600 baud: after the erase, two fixed image regions go
// out in 256-byte chunks, each followed by its byte sum, then the complemented region totals.
// The device stays silent while all is well, so no chunk waits for an acknowledgement.
#include "engine/DeviceProgrammer.h"
#include "engine/Image.h"
#include "platform/NotifyWindow.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

constexpr ResultCode CK_ERASING = 0x0102;
constexpr ResultCode CK_ERASED = 0x0103;
constexpr ResultCode CK_PROGRAMMING = 0x0104;
constexpr ResultCode CK_VERIFYING = 0x0105;

constexpr uint32_t kChunkSize = 256;
constexpr uint32_t kTickMs = 50;
constexpr int32_t kEraseTicks = 400;
constexpr int32_t kVerifyTicks = 200;

// The region without its trailing 0xFF bytes, rounded up to whole chunks. The byte at region
// offset 0 is never examined: a region that is 0xFF from offset 1 on is empty.
uint16_t RegionLength(const uint8_t* region, uint32_t lastExamined) {
    uint32_t k = lastExamined;
    while (k > 0 && region[k] == 0xFF) {
        --k;
    }
    uint32_t length = (k > 0) ? k + 1 : 0;
    if (length % kChunkSize != 0) {
        length = (length & ~(kChunkSize - 1)) + kChunkSize;
    }
    return static_cast<uint16_t>(length);
}

void PutHalfWord(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

FlashResult DeviceProgrammer::RunChecksumProtocol(const uint8_t* image,
                                                  const std::atomic<int>* abortFlag) {
    const uint8_t* regionStart[2] = {image + kRegionStart[0], image + kRegionStart[1]};
    const uint16_t regionLength[2] = {RegionLength(regionStart[0], kRegionLastExamined[0]),
                                      RegionLength(regionStart[1], kRegionLastExamined[1])};
    SerialPort* const port = activeSlot.port;

    PostText(TextStatus, strings_.Text(IDS_ERASING));
    PostProgress(ProgressSetRange, kEraseTicks);
    PostProgress(ProgressSetPosition, 0);
    FlashResult state = MakeResult(CK_ERASING);

    // Erase: ticks on a 50 ms grid from just before "START".
    int32_t tick = 0;
    const uint32_t eraseStart = clock_.TickCount();
    DropPendingInput();
    port->Write("START", 5, true);
    WaitForRecord(state, CK_ERASING, REPLY_ERASED, MakeResult(CK_ERASED), eraseStart + kTickMs,
                  kTickMs, tick, kEraseTicks, MakeResult(RC_ERASE_FAILED), abortFlag);

    if (state == CK_ERASED) {
        uint8_t lengths[2];
        PutHalfWord(lengths, regionLength[0]);
        port->Write(lengths, 2, true);
        PutHalfWord(lengths, regionLength[1]);
        port->Write(lengths, 2, true);
        const char* record = nullptr;
        const ReplyKind kind = ScanActive(&record);
        state =
            (kind == REPLY_NONE) ? MakeResult(CK_PROGRAMMING) : OtherRecordOutcome(kind, record);
    }

    uint16_t totals[2] = {0, 0};
    if (state == CK_PROGRAMMING) {
        PostProgress(ProgressSetRange, int32_t{regionLength[0]} + int32_t{regionLength[1]});
        PostProgress(ProgressSetPosition, 0);
        int32_t bytesSent = 0;
        for (int r = 0; r < 2 && state == CK_PROGRAMMING; ++r) {
            PostText(TextStatus,
                     FormatText(strings_.Text(IDS_PROGRAMMING_BLOCK), static_cast<long long>(r)));
            for (uint32_t offset = 0; state == CK_PROGRAMMING && offset < regionLength[r];
                 offset += kChunkSize) {
                const uint8_t* chunk = regionStart[r] + offset;
                port->Write(chunk, kChunkSize, true);
                uint16_t sum = 0;
                for (uint32_t i = 0; i < kChunkSize; ++i) {
                    sum = static_cast<uint16_t>(sum + chunk[i]);
                }
                totals[r] = static_cast<uint16_t>(totals[r] + sum);
                uint8_t sumBytes[2];
                PutHalfWord(sumBytes, sum);
                port->Write(sumBytes, 2, true);

                const char* record = nullptr;
                const ReplyKind kind = ScanActive(&record);
                if (kind != REPLY_NONE) {
                    state = OtherRecordOutcome(kind, record);
                }
                bytesSent += kChunkSize;
                PostProgress(ProgressSetPosition, bytesSent);
                if (abortFlag && abortFlag->load(std::memory_order_relaxed) != 0) {
                    state = MakeResult(RC_INTERRUPTED);
                }
            }
        }
        if (state == CK_PROGRAMMING) {
            uint8_t complement[2];
            PutHalfWord(complement, static_cast<uint16_t>(~totals[0]));
            port->Write(complement, 2, true);
            PutHalfWord(complement, static_cast<uint16_t>(~totals[1]));
            port->Write(complement, 2, true);
            state = MakeResult(CK_VERIFYING);
        }
    }

    if (state == CK_VERIFYING) {
        PostText(TextStatus, strings_.Text(IDS_VERIFYING));
        PostProgress(ProgressSetRange, kVerifyTicks);
        PostProgress(ProgressSetPosition, 0);
        // No discard here: a record that arrived during programming is seen now.
        tick = 0;
        WaitForRecord(state, CK_VERIFYING, REPLY_PROGRAMMED, MakeResult(RC_SUCCESS),
                      clock_.TickCount() + kTickMs, kTickMs, tick, kVerifyTicks,
                      MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT), abortFlag);
    }

    CloseSlot(0);
    return state;
}

}  // namespace norvane
