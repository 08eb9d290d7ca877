// Programming of an OS device: greeted with "START" at 9600 baud, then driven at 115200.
// The image is cut at 1 MiB into a lower and an upper region; each is erased, streamed in one
// piece and acknowledged block by block with the device's CRC-16, then an end marker asks the
// device to confirm with "PROGRAMMED".
#pragma once

#include <atomic>
#include <vector>

#include "engine/Diagnosis.h"
#include "engine/EngineParts.h"
#include "engine/Image.h"
#include "engine/JobSteps.h"
#include "engine/Results.h"

namespace norvane {

class BlockCrcProtocol {
public:
    // The phases of a run; the state variable holds one of them (as a FlashResult) while the
    // run goes on, and the final result once it has ended.
    enum class State : ResultCode {
        ErasingLower = 0x0102,
        ProgrammingLower = 0x0103,
        ErasingUpper = 0x0104,
        ProgrammingUpper = 0x0105,
        Verifying = 0x0106,
    };

    explicit BlockCrcProtocol(const EngineParts& parts) : parts_(parts) {}

    // Programs `image` into the device of the active slot; releases the slot at the end.
    // `starFlag` comes from the device's greeting.
    StepOutcome RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                    const std::atomic<int>* abortFlag);

    struct Regions {
        uint32_t lowerLength = 0;
        uint32_t upperLength = 0;
        bool usable = true;
    };
    // Below 1 MiB the whole image is the lower region as it stands. From 1 MiB on, the lower
    // region loses its trailing 0xFF bytes and is rounded up to whole blocks; the upper
    // region must consist of whole blocks.
    static Regions SplitImage(ImageSpan image);

private:
    struct BlockEntry {
        const uint8_t* start;
        uint16_t crc;
    };

    bool InPhase(State phase) const;
    void Store(State next);
    // Step 1 and 3: waits for "ERASED"; 400 silent ticks fail the erase.
    void AwaitErased(State phase, State next);
    // Step 2: the two header words and the lower region, streamed without waiting; false when
    // the line would not take them.
    bool StartLowerStream(bool starFlag);
    // Steps 2 and 4: one "CRC" record per block up to `endIndex`; the device has 100 ticks
    // for each block. Progress counts from `firstShown`.
    void AwaitBlockCrcs(State phase, uint32_t endIndex, uint32_t firstShown, State next);
    void OnBlockCrc(const char* record, uint32_t firstShown);
    // Step 5: the end marker, then "PROGRAMMED".
    void Verify();

    EngineParts parts_;
    const std::atomic<int>* abortFlag_ = nullptr;
    ImageSpan image_;
    Regions regions_;
    std::vector<BlockEntry> blocks_;
    RunPhase phase_;              // where the run stands, for the second text
    uint32_t mismatchBlock_ = 0;  // the block whose CRC did not match
    FlashResult state_ = 0;
    int32_t counter_ = 0;
    uint32_t blockIndex_ = 0;
};

}  // namespace norvane
