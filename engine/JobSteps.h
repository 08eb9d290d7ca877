// The steps of a programming job that talk to the device: find it, then program it with the
// protocol of its kind. DeviceProgrammer is the real one; tests of the job's dispatch script
// their own.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "engine/Image.h"
#include "engine/JobEvents.h"
#include "engine/Results.h"

namespace norvane {

// How a step ended: its result, and why it went wrong for the result box's second text (empty
// when the result's message says it all).
struct StepOutcome {
    FlashResult result = 0;
    std::string detail;
};

// How the search ended; with the device that greeted when it found one (RC_FOUND_OS/GM/TV or
// RC_DEVICE_UNKNOWN).
struct SearchOutcome {
    FlashResult result = 0;
    std::string detail;
    std::optional<JobEvent::Found> device;
};

class JobSteps {
public:
    virtual ~JobSteps() = default;  // closes every port still open

    // Every status event goes there, marked with `job`; set before any other call.
    virtual void SetEventSink(JobEventSink* sink, JobId job) = 0;
    // RC_FOUND_OS/GM/TV with the device's port kept open, or RC_DEVICE_UNKNOWN, RC_NO_DEVICE,
    // RC_INTERRUPTED, RC_INVALID_REPLY. `noNewDevice` ends the search as the abort flag does,
    // but only the search: a device already found is programmed to its end.
    virtual SearchOutcome SearchDevice(const std::atomic<int>* abortFlag,
                                       const std::atomic<int>* noNewDevice = nullptr) = 0;
    // Programs an OS device with `image` (at least one byte; the job cuts the image to its
    // OsImageLength); `starFlag` comes from its greeting. The device's port is released before
    // it returns.
    virtual StepOutcome RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                            const std::atomic<int>* abortFlag) = 0;
    // Programs a GM or TV device from the two regions of `image`; releases the port.
    virtual StepOutcome RunChecksumProtocol(ImageSpan image, const std::atomic<int>* abortFlag) = 0;
};

}  // namespace norvane
