// Private state of CCommPort on POSIX, shared by the back end's source files.
#pragma once

#include <termios.h>

#include <atomic>
#include <thread>

#include "serial/CommPort.h"

namespace norvane {

struct CCommPort::Impl {
    termios savedSettings{};  // the line as Open found it; Close puts it back
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;

    std::thread receiver;
    int receiverStopFd = -1;
    std::atomic<uint64_t> droppedBytes{0};  // counted by the receiver, read by anyone
    // Set by the receiver once the line has hung up; cleared by the next Open.
    std::atomic<bool> lineGone{false};

    // At most one non-waiting transfer at a time. The thread owns its write copy; it clears
    // `transferRunning` (release) as its last step, after it has finished with every buffer.
    std::thread transfer;
    int transferCancelFd = -1;
    std::atomic<bool> transferRunning{false};
};

}  // namespace norvane
