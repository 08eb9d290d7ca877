// Writes and reads: waiting ones run on the caller's thread with a time limit, non-waiting
// ones that the line cannot take at once go on in one transfer thread per port.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/CommPort.h"
#include "serial/CommPortImpl_posix.h"
#include "serial/PosixIo.h"
#include "serial/WireTime.h"

namespace norvane {

namespace {

enum class Direction { kRead, kWrite };

short WantedEvent(Direction direction) {
    return direction == Direction::kWrite ? POLLOUT : POLLIN;
}

// Moves bytes until all are done or the line would block. 0, or the errno that stopped it.
int MoveNow(int fd, Direction direction, uint8_t* data, uint32_t length, uint32_t* done) {
    while (*done < length) {
        const ssize_t moved = direction == Direction::kWrite
                                  ? write(fd, data + *done, length - *done)
                                  : read(fd, data + *done, length - *done);
        if (moved > 0) {
            *done += static_cast<uint32_t>(moved);
            continue;
        }
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0 && errno == EAGAIN) {
            return 0;
        }
        return moved == 0 ? EIO : errno;  // a read of 0 bytes: the line hung up
    }
    return 0;
}

// The whole transfer on the caller's thread, by `deadline` (MonotonicMicros). A write is over
// once the driver's queue is empty and `line` has no more than a UART's transmit FIFO left to
// send. Unsent output is dropped when the limit passes, so nothing trails behind.
int TransferWithin(int fd, Direction direction, uint8_t* data, uint32_t length, uint64_t deadline,
                   LineSchedule* line) {
    uint32_t done = 0;
    for (;;) {
        if (const int error = MoveNow(fd, direction, data, length, &done)) {
            return error;
        }
        if (done == length) {
            break;
        }
        const int left = posix::MillisecondsLeft(deadline);
        if (left == 0) {
            break;
        }
        pollfd device{fd, WantedEvent(direction), 0};
        const int ready = poll(&device, 1, left);
        if (ready < 0 && errno != EINTR) {
            return errno;
        }
        if (ready > 0 && (device.revents & WantedEvent(direction)) == 0) {
            return EIO;  // POLLHUP, POLLERR or POLLNVAL alone: nothing will move any more
        }
    }
    if (direction == Direction::kWrite && done == length &&
        !AwaitLine(
            *line, deadline, line->FifoMicros(), [fd] { return posix::QueuedOutput(fd); },
            SystemClock())) {
        done = 0;
    }
    if (done != length) {
        if (direction == Direction::kWrite) {
            tcflush(fd, TCOFLUSH);
            line->Dropped(MonotonicMicros());
        }
        return ETIMEDOUT;
    }
    return 0;
}

// Milliseconds, at least one, in which `queued` bytes can leave the line.
int QueueDrainMs(uint32_t queued, uint32_t speed, const LineFrame& frame) {
    const uint64_t ms = (WireTimeMicros(queued, speed, frame) + 999) / 1000;
    return static_cast<int>(std::clamp<uint64_t>(ms, 1, 1000));
}

struct TransferArgs {
    int fd;
    int cancelFd;
    uint32_t speed;
    LineFrame frame;
    Direction direction;
    uint8_t* data;  // into `copy` for a write, the caller's buffer for a read
    uint32_t length;
    uint32_t done;
    std::vector<uint8_t> copy;
    TransferSlot* slot;
};

void TransferLoop(TransferArgs args) {
    bool cancelled = false;
    while (args.done < args.length) {
        pollfd fds[2] = {{args.fd, WantedEvent(args.direction), 0}, {args.cancelFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents != 0) {
            cancelled = true;
            break;
        }
        if ((fds[0].revents & WantedEvent(args.direction)) == 0) {
            break;  // the device hung up or failed; nothing will move any more
        }
        if (MoveNow(args.fd, args.direction, args.data, args.length, &args.done) != 0) {
            break;
        }
    }
    if (args.direction == Direction::kWrite) {
        // The queue drains at the line's pace: a look once the queued bytes can have left.
        while (!cancelled && args.done == args.length) {
            const uint32_t queued = posix::QueuedOutput(args.fd);
            if (queued == 0) {
                break;
            }
            pollfd cancel{args.cancelFd, POLLIN, 0};
            cancelled = poll(&cancel, 1, QueueDrainMs(queued, args.speed, args.frame)) > 0;
        }
        if (cancelled) {
            tcflush(args.fd, TCOFLUSH);
        }
    }
    args.copy.clear();
    {
        std::lock_guard lock(args.slot->mutex);
        args.slot->running.store(false, std::memory_order_release);
    }
    args.slot->ended.notify_all();
}

// Forgets a transfer thread that has ended. False while one still runs.
bool TransferSlotFree(TransferSlot& slot) {
    if (!slot.thread.joinable()) {
        return true;
    }
    if (slot.running.load(std::memory_order_acquire)) {
        return false;
    }
    slot.thread.join();
    posix::CloseFd(&slot.cancelFd);
    return true;
}

// A waiting transfer never runs alongside a non-waiting one in the same direction: the bytes of
// both would interleave. It waits for that one to end, by its own deadline; false when it has
// not ended by then.
bool AwaitTransferEnd(TransferSlot& slot, Direction direction, uint64_t deadline) {
    if (!slot.thread.joinable() || slot.writes != (direction == Direction::kWrite)) {
        return true;
    }
    {
        std::unique_lock lock(slot.mutex);
        const auto until = std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::microseconds(deadline)));
        slot.ended.wait_until(lock, until,
                              [&slot] { return !slot.running.load(std::memory_order_acquire); });
    }
    return TransferSlotFree(slot);
}

// Starts the transfer thread on what the line did not take at once; false with `lastError`
// set when it cannot.
bool StartTransfer(TransferSlot& slot, TransferArgs args, uint32_t* lastError) {
    slot.cancelFd = posix::MakeWakeFd();
    if (slot.cancelFd < 0) {
        *lastError = static_cast<uint32_t>(errno);
        return false;
    }
    args.cancelFd = slot.cancelFd;
    args.slot = &slot;
    slot.writes = args.direction == Direction::kWrite;
    slot.running.store(true, std::memory_order_relaxed);
    try {
        slot.thread = std::thread(TransferLoop, std::move(args));
    } catch (const std::system_error& error) {
        slot.running.store(false, std::memory_order_relaxed);
        posix::CloseFd(&slot.cancelFd);
        *lastError = static_cast<uint32_t>(error.code().value());
        return false;
    }
    return true;
}

}  // namespace

bool AwaitLineLeft(int fd, const LineSchedule& line) {
    return AwaitLine(
        line, LineLeftDeadline(line, MonotonicMicros()), 0,
        [fd] { return posix::QueuedOutput(fd); }, SystemClock());
}

bool CommPort::Write(const void* data, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    uint8_t* bytes = static_cast<uint8_t*>(const_cast<void*>(data));  // a write only reads it
    if (wait) {
        if (length == 0) {
            return true;
        }
        const uint64_t deadline =
            MonotonicMicros() + uint64_t{TransferTimeLimitMs(length, baudRate)} * 1000;
        if (!AwaitTransferEnd(impl->transfer, Direction::kWrite, deadline)) {
            lastError = ETIMEDOUT;  // nothing of this write was sent
            return false;
        }
        impl->line.Add(MonotonicMicros(), length);
        const int error =
            TransferWithin(fileHandle, Direction::kWrite, bytes, length, deadline, &impl->line);
        if (error != 0) {
            lastError = static_cast<uint32_t>(error);
        }
        return error == 0;
    }
    if (!TransferSlotFree(impl->transfer)) {
        return false;
    }
    impl->line.Add(MonotonicMicros(), length);
    uint32_t done = 0;
    if (const int error = MoveNow(fileHandle, Direction::kWrite, bytes, length, &done)) {
        lastError = static_cast<uint32_t>(error);
        return false;
    }
    if (done == length) {
        return true;  // the line took everything at once: no thread needed
    }
    TransferArgs args{fileHandle,
                      -1,
                      impl->line.Speed(),
                      impl->line.Frame(),
                      Direction::kWrite,
                      nullptr,
                      length - done,
                      0,
                      std::vector<uint8_t>(bytes + done, bytes + length),
                      nullptr};
    args.data = args.copy.data();  // the vector's storage stays put when args is moved
    return StartTransfer(impl->transfer, std::move(args), &lastError);
}

bool CommPort::Read(void* buffer, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    if (!wait && !TransferSlotFree(impl->transfer)) {
        return false;
    }
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    std::memset(bytes, 0, length);
    uint32_t done = 0;
    if (mode != MODE_DIRECT) {
        // Returns at once with what the line holds, possibly nothing.
        const int error = MoveNow(fileHandle, Direction::kRead, bytes, length, &done);
        if (error != 0) {
            lastError = static_cast<uint32_t>(error);
        }
        return error == 0;
    }
    if (wait) {
        const uint64_t total =
            static_cast<uint64_t>(impl->readMultiplier) * length + impl->readConstant;
        const uint64_t limit = total == 0 ? TransferTimeLimitMs(length, baudRate) : total;
        const uint64_t deadline = MonotonicMicros() + limit * 1000;
        if (!AwaitTransferEnd(impl->transfer, Direction::kRead, deadline)) {
            lastError = ETIMEDOUT;
            return false;
        }
        const int error =
            TransferWithin(fileHandle, Direction::kRead, bytes, length, deadline, nullptr);
        if (error != 0) {
            lastError = static_cast<uint32_t>(error);
        }
        return error == 0;
    }
    if (const int error = MoveNow(fileHandle, Direction::kRead, bytes, length, &done)) {
        lastError = static_cast<uint32_t>(error);
        return false;
    }
    if (done == length) {
        return true;
    }
    return StartTransfer(impl->transfer,
                         TransferArgs{fileHandle,
                                      -1,
                                      impl->line.Speed(),
                                      impl->line.Frame(),
                                      Direction::kRead,
                                      bytes,
                                      length,
                                      done,
                                      {},
                                      nullptr},
                         &lastError);
}

bool CommPort::StopTransferThread() {
    TransferSlot& slot = impl->transfer;
    if (!slot.thread.joinable()) {
        return true;
    }
    const bool cancelled = slot.running.load(std::memory_order_acquire);
    posix::Wake(slot.cancelFd);
    slot.thread.join();
    posix::CloseFd(&slot.cancelFd);
    if (cancelled && slot.writes) {
        impl->line.Dropped(MonotonicMicros());  // the thread flushed the unsent output
    }
    return true;
}

bool CommPort::TransferInProgress() {
    return impl->transfer.running.load(std::memory_order_acquire) ||
           !impl->line.FreeBy(MonotonicMicros());
}

}  // namespace norvane
