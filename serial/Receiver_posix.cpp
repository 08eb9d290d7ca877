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
#include "serial/RingWriter.h"

namespace norvane {

namespace {

struct ReceiverArgs {
    int fd;
    int stopFd;
    RingWriter ring;
    std::atomic<bool>* lineGone;  // told the moment the line hangs up
};

// Reads until the line is empty. Each read goes at most to the ring's end or to the reader;
// one that fills that room reads again at once, since more may be waiting. With the ring full
// the line is still emptied: its bytes are dropped and counted. False once the device has
// hung up or failed.
bool DrainInput(const ReceiverArgs& args) {
    uint8_t overflow[256];
    for (;;) {
        const RingWriter::ReadPlace to = args.ring.PlaceForRead(overflow, sizeof overflow);
        const ssize_t got = read(args.fd, to.place, to.room);
        if (got > 0) {
            args.ring.Accept(to, static_cast<uint32_t>(got));
            if (static_cast<uint32_t>(got) == to.room) {
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
        if ((events & POLLIN) != 0 && !DrainInput(args)) {
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

bool CommPort::StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                             const std::atomic<uint32_t>* readIndex) {
    if (impl->receiver.joinable()) {
        return true;
    }
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    if (ring == nullptr || ringSize == 0 || writeIndex == nullptr || readIndex == nullptr) {
        lastError = EINVAL;
        return false;
    }
    impl->droppedBytes = 0;
    const RingWriter writer(ring, ringSize, writeIndex, readIndex, &impl->droppedBytes);
    impl->receiverStopFd = posix::MakeWakeFd();
    if (impl->receiverStopFd < 0) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    try {
        impl->receiver = std::thread(
            ReceiverLoop, ReceiverArgs{fileHandle, impl->receiverStopFd, writer, &impl->lineGone});
    } catch (const std::system_error& error) {
        posix::CloseFd(&impl->receiverStopFd);
        lastError = static_cast<uint32_t>(error.code().value());
        return false;
    }
    return true;
}

uint64_t CommPort::DroppedBytes() const {
    return impl->droppedBytes.load(std::memory_order_relaxed);
}

bool CommPort::StopReceiver() {
    if (!impl->receiver.joinable()) {
        return true;
    }
    posix::Wake(impl->receiverStopFd);
    impl->receiver.join();
    posix::CloseFd(&impl->receiverStopFd);
    return true;
}

}  // namespace norvane
