// Writes and reads: waiting ones run on the caller's thread with a time limit, non-waiting
// ones that the line cannot take at once go on in one transfer thread per port.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/CommPort.h"
#include "serial/CommPortImpl_posix.h"
#include "serial/PosixIo.h"
#include "serial/WriteTimeLimit.h"

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

// The whole transfer on the caller's thread; a write also waits for the output queue to
// drain. Unsent output is dropped when the limit passes, so nothing trails behind.
int TransferWithin(int fd, Direction direction, uint8_t* data, uint32_t length, uint32_t limitMs) {
    const posix::Deadline deadline = posix::DeadlineAfter(limitMs);
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
    if (direction == Direction::kWrite) {
        while (done == length && !posix::OutputDrained(fd)) {
            if (posix::MillisecondsLeft(deadline) == 0) {
                done = 0;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (done != length) {
        if (direction == Direction::kWrite) {
            tcflush(fd, TCOFLUSH);
        }
        return ETIMEDOUT;
    }
    return 0;
}

struct TransferArgs {
    int fd;
    int cancelFd;
    Direction direction;
    uint8_t* data;  // into `copy` for a write, the caller's buffer for a read
    uint32_t length;
    uint32_t done;
    std::vector<uint8_t> copy;
    std::atomic<bool>* running;
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
        while (!cancelled && args.done == args.length && !posix::OutputDrained(args.fd)) {
            pollfd cancel{args.cancelFd, POLLIN, 0};
            cancelled = poll(&cancel, 1, 1) > 0;
        }
        if (cancelled) {
            tcflush(args.fd, TCOFLUSH);
        }
    }
    args.copy.clear();
    args.running->store(false, std::memory_order_release);
}

// Forgets a transfer thread that has ended. False while one still runs.
bool TransferSlotFree(std::thread* transfer, std::atomic<bool>* running, int* cancelFd) {
    if (!transfer->joinable()) {
        return true;
    }
    if (running->load(std::memory_order_acquire)) {
        return false;
    }
    transfer->join();
    posix::CloseFd(cancelFd);
    return true;
}

}  // namespace

bool CCommPort::Write(const void* data, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    uint8_t* bytes = static_cast<uint8_t*>(const_cast<void*>(data));  // a write only reads it
    if (wait) {
        if (length == 0) {
            return true;
        }
        const int error = TransferWithin(fileHandle, Direction::kWrite, bytes, length,
                                         TransferTimeLimitMs(length, baudRate));
        if (error != 0) {
            lastError = static_cast<uint32_t>(error);
        }
        return error == 0;
    }
    if (!TransferSlotFree(&impl->transfer, &impl->transferRunning, &impl->transferCancelFd)) {
        return false;
    }
    uint32_t done = 0;
    if (const int error = MoveNow(fileHandle, Direction::kWrite, bytes, length, &done)) {
        lastError = static_cast<uint32_t>(error);
        return false;
    }
    if (done == length) {
        return true;  // the line took everything at once: no thread needed
    }
    impl->transferCancelFd = posix::MakeWakeFd();
    if (impl->transferCancelFd < 0) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    TransferArgs args{fileHandle,
                      impl->transferCancelFd,
                      Direction::kWrite,
                      nullptr,
                      length - done,
                      0,
                      std::vector<uint8_t>(bytes + done, bytes + length),
                      &impl->transferRunning};
    args.data = args.copy.data();  // the vector's storage stays put when args is moved
    impl->transferRunning.store(true, std::memory_order_relaxed);
    try {
        impl->transfer = std::thread(TransferLoop, std::move(args));
    } catch (const std::system_error& error) {
        impl->transferRunning.store(false, std::memory_order_relaxed);
        posix::CloseFd(&impl->transferCancelFd);
        lastError = static_cast<uint32_t>(error.code().value());
        return false;
    }
    return true;
}

bool CCommPort::Read(void* buffer, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    if (!wait &&
        !TransferSlotFree(&impl->transfer, &impl->transferRunning, &impl->transferCancelFd)) {
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
        const uint32_t limit = total == 0            ? TransferTimeLimitMs(length, baudRate)
                               : total > 0xFFFFFFFFu ? 0xFFFFFFFFu
                                                     : static_cast<uint32_t>(total);
        const int error = TransferWithin(fileHandle, Direction::kRead, bytes, length, limit);
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
    impl->transferCancelFd = posix::MakeWakeFd();
    if (impl->transferCancelFd < 0) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    impl->transferRunning.store(true, std::memory_order_relaxed);
    try {
        impl->transfer = std::thread(TransferLoop, TransferArgs{fileHandle,
                                                                impl->transferCancelFd,
                                                                Direction::kRead,
                                                                bytes,
                                                                length,
                                                                done,
                                                                {},
                                                                &impl->transferRunning});
    } catch (const std::system_error& error) {
        impl->transferRunning.store(false, std::memory_order_relaxed);
        posix::CloseFd(&impl->transferCancelFd);
        lastError = static_cast<uint32_t>(error.code().value());
        return false;
    }
    return true;
}

bool CCommPort::StopTransferThread() {
    if (!impl->transfer.joinable()) {
        return true;
    }
    posix::Wake(impl->transferCancelFd);
    impl->transfer.join();
    posix::CloseFd(&impl->transferCancelFd);
    return true;
}

bool CCommPort::TransferInProgress() {
    return impl->transferRunning.load(std::memory_order_acquire);
}

}  // namespace norvane
