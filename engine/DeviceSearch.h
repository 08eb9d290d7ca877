// The device may hang on any of COM1 to COM8: all eight are opened with a receiver each and
// looked at in turn, one port per 100 ms tick, for at most 300 ticks, until a port delivers a
// complete record. A "READY" greeting names the device's kind and serial number.
#pragma once

#include <atomic>
#include <string>

#include "engine/EngineParts.h"
#include "engine/Results.h"

namespace norvane {

class DeviceSearch {
public:
    explicit DeviceSearch(const EngineParts& parts) : parts_(parts) {}

    // RC_FOUND_OS/GM/TV or RC_DEVICE_UNKNOWN with the device's slot active and the only one
    // open; RC_INVALID_REPLY with every opened slot still open; RC_NO_DEVICE or RC_INTERRUPTED
    // with every slot closed.
    FlashResult SearchDevice(const std::atomic<int>* abortFlag);

    // An OS device greeted with '*' at record position 7: the block-CRC protocol then sends
    // the upper region's length in its first header word. Unchanged by other kinds.
    bool StarFlag() const { return starFlag_; }

private:
    // Adds to port n's story what its tick found: a greeting, a hang-up, or bytes.
    void NoteWhatCame(int n, ReplyKind kind);
    // One line per port that was not simply absent, with what to do.
    std::string PortStories();
    // Shows the greeting on port n and keeps that port as the active slot.
    FlashResult Detect(int n, const char* record);

    EngineParts parts_;
    bool starFlag_ = false;
};

}  // namespace norvane
