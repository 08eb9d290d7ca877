// The steps of a programming job that talk to the device: find it, then program it with the
// protocol of its kind. DeviceProgrammer is the real one; tests of the job's dispatch script
// their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/Image.h"
#include "engine/Results.h"

namespace norvane {

class NotifyWindow;

class JobSteps {
public:
    virtual ~JobSteps() = default;  // closes every port still open

    // Every status message goes there; set before any other call.
    virtual void SetNotifyWindow(NotifyWindow* window) = 0;
    // RC_FOUND_OS/GM/TV with the device's port kept open, or RC_DEVICE_UNKNOWN, RC_NO_DEVICE,
    // RC_INTERRUPTED, RC_INVALID_REPLY.
    virtual FlashResult SearchDevice(const std::atomic<int>* abortFlag) = 0;
    // Programs an OS device with `image` (at least one byte; the job cuts the image to its
    // OsImageLength); the device's port is released before it returns.
    virtual FlashResult RunBlockCrcProtocol(ImageSpan image, const std::atomic<int>* abortFlag) = 0;
    // Programs a GM or TV device from the two regions of `image`; releases the port.
    virtual FlashResult RunChecksumProtocol(ImageSpan image, const std::atomic<int>* abortFlag) = 0;
    // Why the last step went wrong, for the result box's second text; empty when there is
    // nothing to add to the result's message.
    virtual std::string ResultDetail() const { return {}; }
};

}  // namespace norvane
