// The receiver thread: sleeps until the line has bytes or a stop is asked for, then moves
// everything the line holds into the caller's ring.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "serial/CommPort.h"
#include "serial/CommPortImpl_posix.h"
#include "serial/PosixIo.h"

namespace norvane {

namespace {

struct ReceiverArgs {
    int fd;
    int stopFd;
    uint8_t* ring;
    uint32_t ringSize;
    std::atomic<uint32_t>* writeIndex;
    std::atomic<bool>* lineGone;  // told the moment the line hangs up
};

// Reads until the line is empty. Each read goes at most to the ring's end; one that reaches
// it wraps the index and reads again at once, since more may be waiting. False once the
// device has hung up or failed.
bool DrainInput(const ReceiverArgs& args, uint32_t* index) {
    for (;;) {
        const uint32_t room = args.ringSize - *index;
        const ssize_t got = read(args.fd, args.ring + *index, room);
        if (got > 0) {
            *index += static_cast<uint32_t>(got);
            if (*index == args.ringSize) {
                *index = 0;
            }
            // The bytes are in place before the reader can see the new index.
            args.writeIndex->store(*index, std::memory_order_release);
            if (static_cast<uint32_t>(got) == room) {
                continue;
            }
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EAGAIN) {
            return true;
        }
        return false;  // 0 is end of file (hang-up); EIO and the like: the device is gone
    }
}

void ReceiverLoop(ReceiverArgs args) {
    uint32_t index = args.writeIndex->load(std::memory_order_relaxed);
    if (index >= args.ringSize) {
        index = 0;
    }
    // Once the device is gone it would wake poll() for ever; from then on only the stop
    // request is waited for.
    bool deviceGone = false;
    for (;;) {
        pollfd fds[2] = {{deviceGone ? -1 : args.fd, POLLIN, 0}, {args.stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const short events = fds[0].revents;
        if ((events & POLLIN) != 0 && !DrainInput(args, &index)) {
            deviceGone = true;
        }
        if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            deviceGone = true;
        }
        if (deviceGone) {
            args.lineGone->store(true, std::memory_order_release);
        }
    }
}

}  // namespace

bool CCommPort::StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex) {
    if (impl->receiver.joinable()) {
        return true;
    }
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    if (ring == nullptr || ringSize == 0 || writeIndex == nullptr) {
        lastError = EINVAL;
        return false;
    }
    std::memset(ring, 0, ringSize);
    impl->receiverStopFd = posix::MakeWakeFd();
    if (impl->receiverStopFd < 0) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    try {
        impl->receiver =
            std::thread(ReceiverLoop, ReceiverArgs{fileHandle, impl->receiverStopFd, ring, ringSize,
                                                   writeIndex, &impl->lineGone});
    } catch (const std::system_error& error) {
        posix::CloseFd(&impl->receiverStopFd);
        lastError = static_cast<uint32_t>(error.code().value());
        return false;
    }
    return true;
}

bool CCommPort::StopReceiver() {
    if (!impl->receiver.joinable()) {
        return true;
    }
    posix::Wake(impl->receiverStopFd);
    impl->receiver.join();
    posix::CloseFd(&impl->receiverStopFd);
    return true;
}

}  // namespace norvane
