// The device may hang on any of the job's ports: all of them are opened with a receiver each
// and looked at in turn, one port per 100 ms tick, for at most 300 ticks, until a port delivers
// a complete record. A "READY" greeting names the device's kind and serial number.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "engine/EngineParts.h"
#include "engine/JobSteps.h"
#include "engine/Results.h"

namespace norvane {

class DeviceSearch {
public:
    explicit DeviceSearch(const EngineParts& parts) : parts_(parts) {}

    // RC_FOUND_OS/GM/TV or RC_DEVICE_UNKNOWN with the device and its slot active and the only
    // one open; RC_INVALID_REPLY with every opened slot still open; RC_NO_DEVICE or
    // RC_INTERRUPTED with every slot closed. `noNewDevice` stops the search as the abort flag
    // does.
    SearchOutcome SearchDevice(const std::atomic<int>* abortFlag,
                               const std::atomic<int>* noNewDevice);

private:
    // Adds to port n's story what its tick found: a greeting, a hang-up, or bytes.
    void NoteWhatCame(int n, ReplyKind kind);
    // One line per port that was not simply absent, with what to do.
    std::string PortStories();
    // Shows the greeting on slot n and keeps that port as the active slot.
    FlashResult Detect(int n, const char* record);

    EngineParts parts_;
    std::optional<JobEvent::Found> found_;
};

}  // namespace norvane
