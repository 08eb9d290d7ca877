// Programming of a GM or TV device at 9600 baud: after the erase, two fixed image regions go
// out in 256-byte chunks, each followed by its byte sum, then the complemented region totals.
// The device stays silent while all is well, so no chunk waits for an acknowledgement.
#pragma once

#include <atomic>

#include "engine/Diagnosis.h"
#include "engine/EngineParts.h"
#include "engine/Image.h"
#include "engine/JobSteps.h"
#include "engine/Results.h"

namespace norvane {

class ChecksumProtocol {
public:
    // The phases of a run, held by the state variable (as a FlashResult) while it goes on.
    enum class State : ResultCode {
        Erasing = 0x0102,
        Erased = 0x0103,
        Programming = 0x0104,
        Verifying = 0x0105,
    };

    explicit ChecksumProtocol(const EngineParts& parts) : parts_(parts) {}

    // Programs the two regions of `image` (long enough for both) into the device of the
    // active slot; releases the slot at the end.
    StepOutcome RunChecksumProtocol(ImageSpan image, const std::atomic<int>* abortFlag);

    // The region without its trailing 0xFF bytes, rounded up to whole chunks. The byte at
    // region offset 0 is never examined: a region that is 0xFF from offset 1 on is empty.
    static uint16_t RegionLength(const uint8_t* region, uint32_t lastExamined);

private:
    bool InPhase(State phase) const;
    void Erase();
    // The two region lengths; a record already waiting ends the run.
    void SendLengths();
    // Every chunk of both regions with its sum, then the complemented totals.
    void SendRegions();
    // Sends one chunk and its sum; adds the sum to the region's total. False when the line did
    // not take them.
    bool SendChunk(const uint8_t* chunk, uint16_t& total);
    void Verify();

    EngineParts parts_;
    const std::atomic<int>* abortFlag_ = nullptr;
    const uint8_t* regionStart_[2] = {};
    uint16_t regionLength_[2] = {};
    FlashResult state_ = 0;
    RunPhase phase_;  // where the run stands, for the second text
};

}  // namespace norvane
