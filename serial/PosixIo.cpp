#include "serial/PosixIo.h"

#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "serial/WireTime.h"

namespace norvane::posix {

bool SpeedCode(uint32_t baudRate, speed_t* code) {
    struct Entry {
        uint32_t rate;
        speed_t code;
    };
    static constexpr Entry kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000},
    };
    for (const Entry& entry : kSpeeds) {
        if (entry.rate == baudRate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

int MakeWakeFd() {
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void Wake(int wakeFd) {
    const uint64_t one = 1;
    // A full counter (EAGAIN) still wakes the reader; nothing else can fail here.
    while (write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CloseFd(int* fd) {
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

uint32_t QueuedOutput(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) {
        return 0;
    }
    return static_cast<uint32_t>(queued);
}

int MillisecondsLeft(uint64_t deadline) {
    const uint64_t now = MonotonicMicros();
    if (now >= deadline) {
        return 0;
    }
    const uint64_t ms = (deadline - now + 999) / 1000;
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

}  // namespace norvane::posix
