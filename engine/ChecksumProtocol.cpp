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

// False when the line did not take the bytes within the write's limit.
bool WriteHalfWord(PortBank& ports, uint16_t value) {
    uint8_t bytes[2];
    PutLittleEndian(bytes, value, 2);
    return ports.WriteActive(bytes, 2, true);
}

// A write the line did not take: what was not sent is gone, so the run cannot go on as if the
// device had it.
constexpr FlashResult kLineStalled = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);

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
    if (!parts_.ports.WriteActive("START", 5, true)) {
        state_ = kLineStalled;
        return;
    }
    parts_.ticks.WaitForRecord(
        state_,
        {StateResult(State::Erasing), REPLY_ERASED, StateResult(State::Erased),
         eraseStart + kTickMs, kTickMs, kEraseTicks, MakeResult(RC_ERASE_FAILED)},
        tick, abortFlag_);
}

void ChecksumProtocol::SendLengths() {
    phase_ = {RunPhase::Block, 0, 0};  // what the lengths announce
    PortBank& ports = parts_.ports;
    if (!WriteHalfWord(ports, regionLength_[0]) || !WriteHalfWord(ports, regionLength_[1])) {
        state_ = kLineStalled;
        return;
    }
    const char* record = nullptr;
    const ReplyKind kind = parts_.ports.ScanActive(&record);
    state_ =
        (kind == REPLY_NONE) ? StateResult(State::Programming) : OtherRecordOutcome(kind, record);
}

bool ChecksumProtocol::SendChunk(const uint8_t* chunk, uint16_t& total) {
    PortBank& ports = parts_.ports;
    if (!ports.WriteActive(chunk, kBlockSize, true)) {
        return false;
    }
    uint16_t sum = 0;
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        sum = static_cast<uint16_t>(sum + chunk[i]);
    }
    total = static_cast<uint16_t>(total + sum);
    return WriteHalfWord(ports, sum);
}

void ChecksumProtocol::SendRegions() {
    StatusPoster& status = parts_.status;
    // One bar over both regions: the second region's text carries on where the first ended.
    const int32_t total = int32_t{regionLength_[0]} + int32_t{regionLength_[1]};
    uint16_t totals[2] = {0, 0};
    int32_t bytesSent = 0;
    for (int r = 0; r < 2 && InPhase(State::Programming); ++r) {
        status.ShowPhase(
            FormatText(parts_.strings.Text(IDS_PROGRAMMING_BLOCK), static_cast<long long>(r)),
            total, bytesSent);
        for (uint32_t offset = 0; InPhase(State::Programming) && offset < regionLength_[r];
             offset += kBlockSize) {
            phase_ = {RunPhase::Block, static_cast<int>(offset / kBlockSize), r};
            const bool sent = SendChunk(regionStart_[r] + offset, totals[r]);
            const char* record = nullptr;
            const ReplyKind kind = parts_.ports.ScanActive(&record);
            if (!sent) {
                state_ = kLineStalled;
            } else if (kind != REPLY_NONE) {
                state_ = OtherRecordOutcome(kind, record);
            } else if (parts_.ports.LineGone(parts_.ports.ActiveSlot())) {
                // The device is gone: the verification's limit would end the run anyway.
                state_ = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
            }
            bytesSent += kBlockSize;
            status.PostProgress(bytesSent);
            if (AbortRequested(abortFlag_)) {
                state_ = MakeResult(RC_INTERRUPTED);
            }
        }
    }
    if (InPhase(State::Programming)) {
        PortBank& ports = parts_.ports;
        const bool sent = WriteHalfWord(ports, static_cast<uint16_t>(~totals[0])) &&
                          WriteHalfWord(ports, static_cast<uint16_t>(~totals[1]));
        state_ = sent ? StateResult(State::Verifying) : kLineStalled;
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

StepOutcome ChecksumProtocol::RunChecksumProtocol(ImageSpan image,
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
    parts_.ports.CloseSlot(0);
    return {state_, StepEndDetail(end, parts_.strings)};
}

}  // namespace norvane
