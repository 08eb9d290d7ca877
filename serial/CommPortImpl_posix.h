// Private state of CommPort on POSIX, shared by the back end's source files.
#pragma once

#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/CommPort.h"
#include "serial/WireTime.h"

namespace norvane {

// The one non-waiting transfer a port may have at a time. Its thread owns its write copy; it
// clears `running` (release, under `mutex`) as its last step, after it has finished with every
// buffer, and wakes a waiting transfer of the same direction through `ended`.
struct TransferSlot {
    std::thread thread;
    int cancelFd = -1;
    bool writes = false;  // the direction of the transfer on `thread`
    std::atomic<bool> running{false};
    std::mutex mutex;
    std::condition_variable ended;
};

// Waits until every byte handed to `fd` has left the line by `line`'s account and the driver's
// queue, within half a second beyond the account; false when they have not by then.
bool AwaitLineLeft(int fd, const LineSchedule& line);

struct CommPort::Impl {
    termios savedSettings{};  // the line as Open found it; Close puts it back
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;

    std::thread receiver;
    int receiverStopFd = -1;
    std::atomic<uint64_t> droppedBytes{0};  // counted by the receiver, read by anyone
    // Set by the receiver once the line has hung up; cleared by the next Open.
    std::atomic<bool> lineGone{false};

    // When the line has sent every byte written to it, at the speed and frame now set. The
    // caller's thread alone uses it.
    LineSchedule line;
    TransferSlot transfer;
};

}  // namespace norvane
