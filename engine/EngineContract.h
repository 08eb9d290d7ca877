// What the programming job uses of the object that talks to the device. DeviceProgrammer is
// the real one; tests of the job's dispatch script their own.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Results.h"

namespace norvane {

class NotifyWindow;

class EngineContract {
public:
    virtual ~EngineContract() = default;  // closes every port still open

    // Every status message goes there; set before any other call.
    virtual void SetNotifyWindow(NotifyWindow* window) = 0;
    // RC_FOUND_OS/GM/TV with the device's port kept open, or RC_DEVICE_UNKNOWN, RC_NO_DEVICE,
    // RC_INTERRUPTED, RC_INVALID_REPLY.
    virtual FlashResult SearchDevice(const std::atomic<int>* abortFlag) = 0;
    // Programs an OS device with the first `length` bytes of `image` (length >= 1); the
    // device's port is released before it returns.
    virtual FlashResult RunBlockCrcProtocol(const uint8_t* image, uint32_t length,
                                            const std::atomic<int>* abortFlag) = 0;
    // Programs a GM or TV device from the two regions of `image`; releases the port.
    virtual FlashResult RunChecksumProtocol(const uint8_t* image,
                                            const std::atomic<int>* abortFlag) = 0;
};

}  // namespace norvane
