#include "engine/BlockCrcProtocol.h"

#include "engine/Crc16.h"
#include "engine/WireFormat.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

using State = BlockCrcProtocol::State;

constexpr uint32_t kUpperStart = 0x100000;
constexpr uint32_t kFastBaud = 115200;
constexpr uint32_t kNoStarHeaderWord = 0x00E00000;
constexpr uint32_t kRateChangePauseMs = 500;

constexpr uint32_t kEraseTickMs = 50;
constexpr int32_t kEraseTicks = 400;
constexpr uint32_t kBlockTickMs = 10;
constexpr int32_t kBlockTicks = 100;
// The records one ring holds: more scans in one tick than that would chase a device that
// talks faster than the tick can keep up with.
constexpr uint32_t kMaxScansPerTick = kRingSize / kRecordLength;
constexpr uint32_t kVerifyFirstTickMs = 10;
constexpr uint32_t kVerifyTickMs = 50;
constexpr int32_t kVerifyTicks = 200;

constexpr FlashResult StateResult(State state) {
    return MakeResult(static_cast<ResultCode>(state));
}

}  // namespace

BlockCrcProtocol::Regions BlockCrcProtocol::SplitImage(ImageSpan image) {
    const uint32_t length = static_cast<uint32_t>(image.size());
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
    regions.lowerLength = RoundUpToBlock(end);
    regions.usable = regions.upperLength % kBlockSize == 0 && regions.lowerLength != 0;
    return regions;
}

bool BlockCrcProtocol::InPhase(State phase) const {
    return state_ == StateResult(phase);
}

void BlockCrcProtocol::Store(State next) {
    state_ = StateResult(next);
}

void BlockCrcProtocol::AwaitErased(State phase, State next) {
    counter_ = 0;
    phase_ = {RunPhase::Erase};
    parts_.ticks.WaitForRecord(
        state_,
        {StateResult(phase), REPLY_ERASED, StateResult(next), parts_.ticks.Now() + kEraseTickMs,
         kEraseTickMs, kEraseTicks, MakeResult(RC_ERASE_FAILED)},
        counter_, abortFlag_);
}

bool BlockCrcProtocol::StartLowerStream(bool starFlag) {
    PortBank& ports = parts_.ports;
    ports.DropPendingInput();
    uint8_t first[4];
    uint8_t second[4];
    PutLittleEndian(first, starFlag ? regions_.upperLength : kNoStarHeaderWord, 4);
    PutLittleEndian(second, regions_.lowerLength, 4);
    return ports.WriteActive(first, 4, true) && ports.WriteActive(second, 4, true) &&
           ports.WriteActive(image_.data(), regions_.lowerLength, false);
}

void BlockCrcProtocol::OnBlockCrc(const char* record, uint32_t firstShown) {
    const uint32_t totalBlocks = static_cast<uint32_t>(blocks_.size());
    // A record for a block that was never sent whole cannot confirm anything.
    if (blockIndex_ >= totalBlocks ||
        static_cast<uint16_t>(CrcValueOf(record)) != blocks_[blockIndex_].crc) {
        state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH);
        mismatchBlock_ = blockIndex_;
    }
    if (blockIndex_ < totalBlocks) {
        ++blockIndex_;
    }
    parts_.status.PostProgress(static_cast<int32_t>(blockIndex_ - firstShown));
    counter_ = 0;
}

void BlockCrcProtocol::AwaitBlockCrcs(State phase, uint32_t endIndex, uint32_t firstShown,
                                      State next) {
    counter_ = 0;
    // The block awaited, counted within its region like the regions in the status texts.
    const int region = phase == State::ProgrammingLower ? 0 : 1;
    auto awaiting = [&] {
        phase_ = {RunPhase::Block, static_cast<int>(blockIndex_ - firstShown), region};
    };
    awaiting();
    parts_.ticks.RunWait(
        state_, StateResult(phase), parts_.ticks.Now() + kBlockTickMs, kBlockTickMs, abortFlag_,
        [&](ReplyKind kind, const char* record) {
            // A device on a fast link (USB CDC, a network bridge) acknowledges faster than one
            // record a tick: take every record that has arrived, up to a ring's worth, while
            // this region still awaits acknowledgements. Later records stay for the next wait.
            PortBank& ports = parts_.ports;
            for (uint32_t scans = 0;; ++scans) {
                if (kind == REPLY_CRC) {
                    OnBlockCrc(record, firstShown);
                    if (blockIndex_ < endIndex) {
                        awaiting();
                    }
                } else if (kind != REPLY_NONE) {
                    state_ = OtherRecordOutcome(kind, record);
                }
                if (!InPhase(phase) || blockIndex_ >= endIndex || scans == kMaxScansPerTick ||
                    !ports.HasUnread(ports.ActiveSlot())) {
                    break;
                }
                kind = ports.ScanActive(&record);
            }
        },
        [&] {
            ++counter_;
            if (blockIndex_ == endIndex && InPhase(phase)) {
                Store(next);
            }
            if (counter_ == kBlockTicks) {
                state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
            }
        },
        MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
}

void BlockCrcProtocol::Verify() {
    phase_ = {RunPhase::Verify};
    // The end marker must not be refused because the last stream is still in transit (a
    // trailing partial block is never acknowledged).
    if (!parts_.ticks.AwaitStreamWrittenOut()) {
        state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
        return;
    }
    static const uint8_t kEndMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    parts_.ports.WriteActive(kEndMarker, 4, false);
    // The counter goes on from the programming phase's last tick.
    parts_.ticks.WaitForRecord(
        state_,
        {StateResult(State::Verifying), REPLY_PROGRAMMED, MakeResult(RC_SUCCESS),
         parts_.ticks.Now() + kVerifyFirstTickMs, kVerifyTickMs, kVerifyTicks,
         MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT)},
        counter_, abortFlag_);
}

StepOutcome BlockCrcProtocol::RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                                  const std::atomic<int>* abortFlag) {
    PortBank& ports = parts_.ports;
    StatusPoster& status = parts_.status;
    const MultiStrings& strings = parts_.strings;
    image_ = image;
    abortFlag_ = abortFlag;
    regions_ = SplitImage(image);
    if (!regions_.usable) {
        ports.CloseSlot(0);
        return {MakeResult(RC_INVALID_IMAGE), ImageFaultDetail(ImageFault::OsRegions, strings)};
    }
    const uint32_t lowerBlocks = regions_.lowerLength / kBlockSize;
    const uint32_t upperBlocks = regions_.upperLength / kBlockSize;
    blocks_.clear();
    blocks_.reserve(lowerBlocks + upperBlocks);
    for (uint32_t k = 0; k < lowerBlocks; ++k) {
        const uint8_t* start = image.data() + kBlockSize * k;
        blocks_.push_back({start, Crc16(start, kBlockSize)});
    }
    for (uint32_t k = 0; k < upperBlocks; ++k) {
        const uint8_t* start = image.data() + kUpperStart + kBlockSize * k;
        blocks_.push_back({start, Crc16(start, kBlockSize)});
    }
    const uint32_t totalBlocks = lowerBlocks + upperBlocks;
    counter_ = 0;
    blockIndex_ = 0;
    Store(State::ErasingLower);

    // Erase of the lower region, announced at 9600 baud; the rest runs at 115200.
    status.ShowPhase(FormatText(strings.Text(IDS_ERASING_REGION), 0LL), kEraseTicks);
    SerialPort* const port = ports.ActivePort();
    if (!ports.WriteActive("START", 5, true)) {
        state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);  // the line would not take it
    }
    if (InPhase(State::ErasingLower)) {
        parts_.ticks.Sleep(kRateChangePauseMs);
        port->SetLineSpeed(kFastBaud);
        ports.DropPendingInput();  // whatever came at 9600 since "START"
        AwaitErased(State::ErasingLower, State::ProgrammingLower);
    }

    if (InPhase(State::ProgrammingLower)) {
        status.ShowPhase(FormatText(strings.Text(IDS_PROGRAMMING_REGION), 0LL),
                         static_cast<int32_t>(lowerBlocks));
        if (StartLowerStream(starFlag)) {
            AwaitBlockCrcs(State::ProgrammingLower, lowerBlocks, 0,
                           regions_.upperLength != 0 ? State::ErasingUpper : State::Verifying);
        } else {
            phase_ = {RunPhase::Block, 0, 0};
            state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
        }
    }

    if (InPhase(State::ErasingUpper)) {
        status.ShowPhase(FormatText(strings.Text(IDS_ERASING_REGION), 1LL), kEraseTicks);
        parts_.ticks.Sleep(kRateChangePauseMs);
        AwaitErased(State::ErasingUpper, State::ProgrammingUpper);
    }

    if (InPhase(State::ProgrammingUpper)) {
        status.ShowPhase(FormatText(strings.Text(IDS_PROGRAMMING_REGION), 1LL),
                         static_cast<int32_t>(upperBlocks));
        if (parts_.ticks.AwaitStreamWrittenOut()) {
            ports.WriteActive(image.data() + kUpperStart, regions_.upperLength, false);
            AwaitBlockCrcs(State::ProgrammingUpper, totalBlocks, lowerBlocks, State::Verifying);
        } else {
            state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
        }
    }

    if (InPhase(State::Verifying)) {
        status.ShowPhase(strings.Text(IDS_VERIFYING), kVerifyTicks);
        Verify();
    }

    StepEnd end = ports.ActiveStepEnd(state_);
    end.phase = phase_;
    end.mismatchBlock = mismatchBlock_;
    ports.CloseSlot(0);
    return {state_, StepEndDetail(end, strings)};
}

}  // namespace norvane
