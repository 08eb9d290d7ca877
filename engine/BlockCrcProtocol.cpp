// Programming of an OS device: greeted with "START" at 9600 baud, then driven at 115200.
// The image is cut at 1 MiB into a lower and an upper region; each is erased, streamed in one
// piece and acknowledged block by block with the device's CRC-16, then an end marker asks the
// device to confirm with "PROGRAMMED".
#include <vector>

#include "engine/Crc16.h"
#include "engine/DeviceProgrammer.h"
#include "platform/NotifyWindow.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

constexpr ResultCode BC_ERASING_LOWER = 0x0102;
constexpr ResultCode BC_PROGRAMMING_LOWER = 0x0103;
constexpr ResultCode BC_ERASING_UPPER = 0x0104;
constexpr ResultCode BC_PROGRAMMING_UPPER = 0x0105;
constexpr ResultCode BC_VERIFYING = 0x0106;

constexpr uint32_t kUpperStart = 0x100000;
constexpr uint32_t kBlockSize = 256;
constexpr uint32_t kFastBaud = 115200;
constexpr uint32_t kNoStarHeaderWord = 0x00E00000;
constexpr uint32_t kRateChangePauseMs = 500;

constexpr uint32_t kEraseTickMs = 50;
constexpr int32_t kEraseTicks = 400;
constexpr uint32_t kBlockTickMs = 10;
constexpr int32_t kBlockTicks = 100;
constexpr uint32_t kVerifyFirstTickMs = 10;
constexpr uint32_t kVerifyTickMs = 50;
constexpr int32_t kVerifyTicks = 200;

struct BlockEntry {
    const uint8_t* start;
    uint16_t length;
    uint16_t crc;
};

struct Regions {
    uint32_t lowerLength = 0;
    uint32_t upperLength = 0;
    bool usable = true;
};

// Below 1 MiB the whole image is the lower region as it stands. From 1 MiB on, the lower
// region loses its trailing 0xFF bytes and is rounded up to whole blocks; the upper region
// must consist of whole blocks.
Regions SplitImage(const uint8_t* image, uint32_t length) {
    Regions regions;
    if (length < kUpperStart) {
        regions.lowerLength = length;
        return regions;
    }
    regions.upperLength = length - kUpperStart;
    uint32_t end = kUpperStart;
    while (end > 0 && image[end - 1] == 0xFF) {
        --end;
    }
    regions.lowerLength = end;
    if (regions.lowerLength % kBlockSize != 0) {
        regions.lowerLength = (regions.lowerLength & ~(kBlockSize - 1)) + kBlockSize;
    }
    regions.usable = regions.upperLength % kBlockSize == 0 && regions.lowerLength != 0;
    return regions;
}

std::vector<BlockEntry> MakeBlockList(const uint8_t* image, const Regions& regions) {
    std::vector<BlockEntry> blocks;
    const uint32_t lowerBlocks = regions.lowerLength / kBlockSize;
    const uint32_t upperBlocks = regions.upperLength / kBlockSize;
    blocks.reserve(lowerBlocks + upperBlocks);
    for (uint32_t k = 0; k < lowerBlocks; ++k) {
        blocks.push_back({image + kBlockSize * k, kBlockSize, 0});
    }
    for (uint32_t k = 0; k < upperBlocks; ++k) {
        blocks.push_back({image + kUpperStart + kBlockSize * k, kBlockSize, 0});
    }
    for (auto& block : blocks) {
        block.crc = Crc16(block.start, block.length);
    }
    return blocks;
}

void PutWord(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

FlashResult DeviceProgrammer::RunBlockCrcProtocol(const uint8_t* image, uint32_t length,
                                                  const std::atomic<int>* abortFlag) {
    const Regions regions = SplitImage(image, length);
    if (!regions.usable) {
        CloseSlot(0);
        return MakeResult(RC_INVALID_IMAGE);
    }
    const std::vector<BlockEntry> blocks = MakeBlockList(image, regions);
    const uint32_t lowerBlocks = regions.lowerLength / kBlockSize;
    const uint32_t totalBlocks = static_cast<uint32_t>(blocks.size());
    SerialPort* const port = activeSlot.port;

    FlashResult state = MakeResult(BC_ERASING_LOWER);
    int32_t counter = 0;
    uint32_t blockIndex = 0;

    // An erase wait: "ERASED" moves on to `next`; 400 silent ticks fail the erase.
    auto eraseWait = [&](ResultCode phase, ResultCode next) {
        counter = 0;
        WaitForRecord(state, phase, REPLY_ERASED, MakeResult(next),
                      clock_.TickCount() + kEraseTickMs, kEraseTickMs, counter, kEraseTicks,
                      MakeResult(RC_ERASE_FAILED), abortFlag);
    };

    // A programming wait: one "CRC" record per block, up to `endIndex`; the device has 100
    // ticks for each block.
    auto blockWait = [&](ResultCode phase, uint32_t endIndex, uint32_t firstShown,
                         ResultCode next) {
        counter = 0;
        RunWait(
            state, phase, clock_.TickCount() + kBlockTickMs, kBlockTickMs, abortFlag,
            [&](ReplyKind kind, const char* record) {
                if (kind == REPLY_CRC) {
                    // A record for a block that was never sent whole cannot confirm anything.
                    if (blockIndex >= totalBlocks ||
                        static_cast<uint16_t>(CrcValueOf(record)) != blocks[blockIndex].crc) {
                        state = MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH);
                    }
                    if (blockIndex < totalBlocks) {
                        ++blockIndex;
                    }
                    PostProgress(ProgressSetPosition,
                                 static_cast<int32_t>(blockIndex - firstShown));
                    counter = 0;
                } else if (kind != REPLY_NONE) {
                    state = OtherRecordOutcome(kind, record);
                }
            },
            [&] {
                ++counter;
                if (blockIndex == endIndex && state == phase) {
                    state = MakeResult(next);
                }
                if (counter == kBlockTicks) {
                    state = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
                }
            });
    };

    // Erase of the lower region, announced at 9600 baud; the rest runs at 115200.
    PostText(TextStatus, FormatText(strings_.Text(IDS_ERASING_REGION), 0LL));
    PostProgress(ProgressSetRange, kEraseTicks);
    PostProgress(ProgressSetPosition, 0);
    port->Write("START", 5, true);
    clock_.Sleep(kRateChangePauseMs);
    port->SetLineSpeed(kFastBaud);
    DropPendingInput();  // whatever came at 9600 since "START"
    eraseWait(BC_ERASING_LOWER, BC_PROGRAMMING_LOWER);

    if (state == BC_PROGRAMMING_LOWER) {
        PostText(TextStatus, FormatText(strings_.Text(IDS_PROGRAMMING_REGION), 0LL));
        PostProgress(ProgressSetRange, static_cast<int32_t>(lowerBlocks));
        PostProgress(ProgressSetPosition, 0);
        DropPendingInput();
        uint8_t header[4];
        PutWord(header, starFlag == 1 ? regions.upperLength : kNoStarHeaderWord);
        port->Write(header, 4, true);
        PutWord(header, regions.lowerLength);
        port->Write(header, 4, true);
        port->Write(image, regions.lowerLength, false);
        blockWait(BC_PROGRAMMING_LOWER, lowerBlocks, 0,
                  regions.upperLength != 0 ? BC_ERASING_UPPER : BC_VERIFYING);
    }

    if (state == BC_ERASING_UPPER) {
        PostText(TextStatus, FormatText(strings_.Text(IDS_ERASING_REGION), 1LL));
        PostProgress(ProgressSetRange, kEraseTicks);
        PostProgress(ProgressSetPosition, 0);
        clock_.Sleep(kRateChangePauseMs);
        eraseWait(BC_ERASING_UPPER, BC_PROGRAMMING_UPPER);
    }

    if (state == BC_PROGRAMMING_UPPER) {
        PostText(TextStatus, FormatText(strings_.Text(IDS_PROGRAMMING_REGION), 1LL));
        PostProgress(ProgressSetRange, static_cast<int32_t>(totalBlocks - lowerBlocks));
        PostProgress(ProgressSetPosition, 0);
        if (AwaitStreamWrittenOut()) {
            port->Write(image + kUpperStart, regions.upperLength, false);
            blockWait(BC_PROGRAMMING_UPPER, totalBlocks, lowerBlocks, BC_VERIFYING);
        } else {
            state = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
        }
    }

    if (state == BC_VERIFYING) {
        PostText(TextStatus, strings_.Text(IDS_VERIFYING));
        PostProgress(ProgressSetRange, kVerifyTicks);
        PostProgress(ProgressSetPosition, 0);
        // The end marker must not be refused because the last stream is still in transit
        // (a trailing partial block is never acknowledged).
        if (AwaitStreamWrittenOut()) {
            static const uint8_t kEndMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};
            port->Write(kEndMarker, 4, false);
            // The counter goes on from the programming phase's last tick.
            WaitForRecord(state, BC_VERIFYING, REPLY_PROGRAMMED, MakeResult(RC_SUCCESS),
                          clock_.TickCount() + kVerifyFirstTickMs, kVerifyTickMs, counter,
                          kVerifyTicks, MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT), abortFlag);
        } else {
            state = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
        }
    }

    CloseSlot(0);
    return state;
}

}  // namespace norvane
