#include "tools/simulator/PtyDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace norvane::sim {

namespace {

uint64_t MonotonicMicros() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

uint32_t BaudFromTermios(unsigned speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        default:
            return 0;
    }
}

PtyDevice::PtyDevice(DeviceModel& model) : model_(&model), origin_(MonotonicMicros()) {
    model_->SetHost(this);
}

PtyDevice::~PtyDevice() {
    model_->SetHost(nullptr);
    if (master_ >= 0) {
        close(master_);
    }
}

bool PtyDevice::Open(std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    // Raw mode at 9600 for a host that does not set up the line itself; the settings stay
    // with the terminal after this descriptor is closed.
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        *error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    if (tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        tcsetattr(slave, TCSANOW, &settings);
    }
    close(slave);
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void PtyDevice::Send(const uint8_t* data, size_t length) {
    if (master_ < 0) {
        return;
    }
    uint32_t speed = HostLineSpeed();
    if (speed == 0) {
        speed = model_->DeviceLineSpeed();
    }
    const uint64_t now = NowMicros();
    for (size_t i = 0; i < length; ++i) {
        outgoing_.emplace_back(wire_.Next(now, speed), data[i]);
    }
}

void PtyDevice::Attach(DeviceModel& model) {
    model_->SetHost(nullptr);  // taken off the line: its timers find no line to send on
    model_ = &model;
    model_->SetHost(this);
    phasesTold_ = 0;  // the next device's phases are told from its first
}

bool PtyDevice::RunOver() const {
    return runOver_ ? runOver_() : model_->Finished();
}

void PtyDevice::After(uint64_t delayMicros, std::function<void()> action) {
    timers_.emplace(std::make_pair(NowMicros() + delayMicros, sequence_++), std::move(action));
}

uint64_t PtyDevice::NowMicros() {
    return MonotonicMicros() - origin_;
}

bool PtyDevice::HostPresent() const {
    if (master_ < 0) {
        return false;
    }
    pollfd p{master_, POLLIN, 0};
    return poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

uint32_t PtyDevice::HostLineSpeed() {
    if (!HostPresent()) {
        return 0;
    }
    termios settings{};
    if (tcgetattr(master_, &settings) != 0) {
        return 0;
    }
    return BaudFromTermios(cfgetospeed(&settings));
}

void PtyDevice::Disconnect() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    outgoing_.clear();
    fromHost_.Stop();
}

void PtyDevice::RunDueTimers() {
    while (!timers_.empty() && timers_.begin()->first.first <= NowMicros()) {
        auto action = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        action();
    }
}

void PtyDevice::FlushDueBytes() {
    const uint64_t now = NowMicros();
    std::vector<uint8_t> due;
    while (!outgoing_.empty() && outgoing_.front().first <= now) {
        due.push_back(outgoing_.front().second);
        outgoing_.pop_front();
    }
    if (due.empty() || !HostPresent()) {
        return;  // nobody listens: the bytes are lost
    }
    // A full pty buffer means nobody reads: like an unread line, the bytes are lost.
    const ssize_t written = write(master_, due.data(), due.size());
    (void)written;
}

uint64_t PtyDevice::NextWake() const {
    uint64_t wake = UINT64_MAX;
    if (!timers_.empty()) {
        wake = timers_.begin()->first.first;
    }
    if (!outgoing_.empty()) {
        wake = std::min(wake, outgoing_.front().first);
    }
    if (fromHost_.Active()) {
        wake = std::min(wake, fromHost_.WakeFor(wakePiece_));
    }
    return wake;
}

// Paced mode: hands the device the bytes whose time on the wire is over. Fewer bytes than
// are due means the host's queue has run dry: the line goes idle.
void PtyDevice::TakeDueBytes() {
    if (!fromHost_.Active() || master_ < 0) {
        return;
    }
    lastHostSpeed_ = HostLineSpeed();
    uint64_t due = fromHost_.Due(NowMicros(), lastHostSpeed_);
    // The next read: about a millisecond's worth of bytes, or what is waiting when that is
    // less, so that a short message ends on time; at least one byte.
    int waiting = 0;
    if (ioctl(master_, FIONREAD, &waiting) != 0) {
        waiting = 0;
    }
    const uint64_t queued = static_cast<uint64_t>(std::max(waiting, 0));
    wakePiece_ = std::clamp<uint64_t>(queued > due ? queued - due : 1, 1,
                                      std::max<uint32_t>(lastHostSpeed_ / 10'000, 1));
    while (due > 0 && master_ >= 0) {
        uint8_t buffer[256];
        const size_t want = static_cast<size_t>(std::min<uint64_t>(due, sizeof buffer));
        const ssize_t got = read(master_, buffer, want);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            fromHost_.Stop();
            return;
        }
        fromHost_.Took(static_cast<uint64_t>(got));
        due -= static_cast<uint64_t>(got);
        model_->Receive(buffer, static_cast<size_t>(got));  // may disconnect
        if (static_cast<size_t>(got) < want) {
            fromHost_.Stop();
            return;
        }
    }
}

void PtyDevice::TellNewPhases() {
    const auto& phases = model_->Report().phases;
    for (; teller_ && phasesTold_ < phases.size(); ++phasesTold_) {
        teller_(std::string("phase ") + PhaseName(phases[phasesTold_].phase));
    }
}

void PtyDevice::LookAtHostSpeed() {
    const uint32_t speed = HostLineSpeed();
    if (speed != 0 && speed != speedSeen_ && teller_) {
        teller_("speed " + std::to_string(speed));
    }
    speedSeen_ = speed != 0 ? speed : speedSeen_;
}

void PtyDevice::Run(int stopFd, bool exitAfterRun, uint64_t lingerMicros) {
    model_->PowerOn();
    uint64_t finishedAt = 0;
    for (;;) {
        RunDueTimers();
        TakeDueBytes();
        FlushDueBytes();
        TellNewPhases();
        const uint64_t now = NowMicros();
        if (exitAfterRun && RunOver() && outgoing_.empty()) {
            if (finishedAt == 0) {
                finishedAt = now + lingerMicros;
            }
            if (now >= finishedAt) {
                return;
            }
        }
        uint64_t wake = NextWake();
        if (finishedAt != 0) {
            wake = std::min(wake, finishedAt);
        }
        uint64_t timeoutMicros = 200'000;  // also bounds the wait while the host is away
        if (wake != UINT64_MAX) {
            timeoutMicros = std::min<uint64_t>(wake > now ? wake - now : 0, timeoutMicros);
        }
        // The master reports a hang-up for as long as no host has the slave open; then only
        // the stop pipe is watched, with a short timeout, to notice the host's arrival.
        const bool present = HostPresent();
        const bool arrived = present && !hostWasPresent_;
        hostWasPresent_ = present;
        if (arrived) {
            model_->HostArrived();
            continue;  // its greeting may be due at once
        }
        if (!present) {
            timeoutMicros = std::min<uint64_t>(timeoutMicros, 10'000);
            fromHost_.Stop();
        }
        // While a paced burst is on, the bytes waiting on the master are the host's queue:
        // they are taken by the clock, not when they arrive.
        const bool watchMaster = present && !fromHost_.Active();
        LookAtHostSpeed();
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {master_, POLLIN, 0}};
        const nfds_t count = watchMaster ? 2 : 1;
        const timespec timeout{static_cast<time_t>(timeoutMicros / 1'000'000),
                               static_cast<long>(timeoutMicros % 1'000'000) * 1000};
        const int ready = ppoll(fds, count, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0) {
            if (paced_) {
                lastHostSpeed_ = HostLineSpeed();
                fromHost_.Start(NowMicros(), lastHostSpeed_);
                wakePiece_ = 1;
                continue;
            }
            uint8_t buffer[4096];
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got > 0) {
                model_->Receive(buffer, static_cast<size_t>(got));
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                usleep(10'000);  // the host has just gone: wait, do not spin
            }
        }
    }
}

}  // namespace norvane::sim
