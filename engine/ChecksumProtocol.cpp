#include "engine/ChecksumProtocol.h"

#include "engine/WireFormat.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

using State = ChecksumProtocol::State;

constexpr uint32_t kTickMs = 50;
constexpr int32_t kEraseTicks = 400;
constexpr int32_t kVerifyTicks = 200;

constexpr FlashResult StateResult(State state) {
    return MakeResult(static_cast<ResultCode>(state));
}

void WriteHalfWord(SerialPort& port, uint16_t value) {
    uint8_t bytes[2];
    PutLittleEndian(bytes, value, 2);
    port.Write(bytes, 2, true);
}

}  // namespace

uint16_t ChecksumProtocol::RegionLength(const uint8_t* region, uint32_t lastExamined) {
    uint32_t k = lastExamined;
    while (k > 0 && region[k] == 0xFF) {
        --k;
    }
    return static_cast<uint16_t>(RoundUpToBlock((k > 0) ? k + 1 : 0));
}

bool ChecksumProtocol::InPhase(State phase) const {
    return state_ == StateResult(phase);
}

void ChecksumProtocol::Erase() {
    // Ticks on a 50 ms grid from just before "START".
    int32_t tick = 0;
    phase_ = {RunPhase::Erase};
    const uint32_t eraseStart = parts_.ticks.Now();
    parts_.ports.DropPendingInput();
    parts_.ports.ActivePort()->Write("START", 5, true);
    parts_.ticks.WaitForRecord(
        state_,
        {StateResult(State::Erasing), REPLY_ERASED, StateResult(State::Erased),
         eraseStart + kTickMs, kTickMs, kEraseTicks, MakeResult(RC_ERASE_FAILED)},
        tick, abortFlag_);
}

void ChecksumProtocol::SendLengths() {
    phase_ = {RunPhase::Block, 0, 0};  // what the lengths announce
    SerialPort& port = *parts_.ports.ActivePort();
    WriteHalfWord(port, regionLength_[0]);
    WriteHalfWord(port, regionLength_[1]);
    const char* record = nullptr;
    const ReplyKind kind = parts_.ports.ScanActive(&record);
    state_ =
        (kind == REPLY_NONE) ? StateResult(State::Programming) : OtherRecordOutcome(kind, record);
}

void ChecksumProtocol::SendChunk(const uint8_t* chunk, uint16_t& total) {
    // The chunk and its sum in one write: one wait for the line a chunk, and the next chunk
    // reaches the line before it falls idle.
    uint8_t frame[kBlockSize + 2];
    uint16_t sum = 0;
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        frame[i] = chunk[i];
        sum = static_cast<uint16_t>(sum + chunk[i]);
    }
    PutLittleEndian(frame + kBlockSize, sum, 2);
    total = static_cast<uint16_t>(total + sum);
    parts_.ports.ActivePort()->Write(frame, sizeof frame, true);
}

void ChecksumProtocol::SendRegions() {
    StatusPoster& status = parts_.status;
    status.PostProgress(ProgressSetRange, int32_t{regionLength_[0]} + int32_t{regionLength_[1]});
    status.PostProgress(ProgressSetPosition, 0);
    uint16_t totals[2] = {0, 0};
    int32_t bytesSent = 0;
    for (int r = 0; r < 2 && InPhase(State::Programming); ++r) {
        status.PostText(TextStatus, FormatText(parts_.strings.Text(IDS_PROGRAMMING_BLOCK),
                                               static_cast<long long>(r)));
        for (uint32_t offset = 0; InPhase(State::Programming) && offset < regionLength_[r];
             offset += kBlockSize) {
            phase_ = {RunPhase::Block, static_cast<int>(offset / kBlockSize), r};
            SendChunk(regionStart_[r] + offset, totals[r]);
            const char* record = nullptr;
            const ReplyKind kind = parts_.ports.ScanActive(&record);
            if (kind != REPLY_NONE) {
                state_ = OtherRecordOutcome(kind, record);
            } else if (parts_.ports.LineGone(parts_.ports.ActiveSlot())) {
                // The device is gone: the verification's limit would end the run anyway.
                state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
            }
            bytesSent += kBlockSize;
            status.PostProgress(ProgressSetPosition, bytesSent);
            if (AbortRequested(abortFlag_)) {
                state_ = MakeResult(RC_INTERRUPTED);
            }
        }
    }
    if (InPhase(State::Programming)) {
        SerialPort& port = *parts_.ports.ActivePort();
        WriteHalfWord(port, static_cast<uint16_t>(~totals[0]));
        WriteHalfWord(port, static_cast<uint16_t>(~totals[1]));
        state_ = StateResult(State::Verifying);
    }
}

void ChecksumProtocol::Verify() {
    phase_ = {RunPhase::Verify};
    parts_.status.ShowPhase(parts_.strings.Text(IDS_VERIFYING), kVerifyTicks);
    // No discard here: a record that arrived during programming is seen now.
    int32_t tick = 0;
    parts_.ticks.WaitForRecord(state_,
                               {StateResult(State::Verifying), REPLY_PROGRAMMED,
                                MakeResult(RC_SUCCESS), parts_.ticks.Now() + kTickMs, kTickMs,
                                kVerifyTicks, MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT)},
                               tick, abortFlag_);
}

FlashResult ChecksumProtocol::RunChecksumProtocol(ImageSpan image,
                                                  const std::atomic<int>* abortFlag) {
    abortFlag_ = abortFlag;
    for (int r = 0; r < 2; ++r) {
        regionStart_[r] = image.data() + kRegionStart[r];
        regionLength_[r] = RegionLength(regionStart_[r], kRegionLastExamined[r]);
    }
    parts_.status.ShowPhase(parts_.strings.Text(IDS_ERASING), kEraseTicks);
    state_ = StateResult(State::Erasing);
    Erase();
    if (InPhase(State::Erased)) {
        SendLengths();
    }
    if (InPhase(State::Programming)) {
        SendRegions();
    }
    if (InPhase(State::Verifying)) {
        Verify();
    }
    StepEnd end = parts_.ports.ActiveStepEnd(state_);
    end.phase = phase_;
    parts_.status.SetResultDetail(StepEndDetail(end, parts_.strings));
    parts_.ports.CloseSlot(0);
    return state_;
}

}  // namespace norvane
