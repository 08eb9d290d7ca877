// CommPort on POSIX: opening, configuring and closing the line. Transfers are in
// Transfer_posix.cpp, the receiver thread in Receiver_posix.cpp.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/CommPort.h"
#include "serial/CommPortImpl_posix.h"
#include "serial/ErrorText.h"
#include "serial/LineSettings_posix.h"
#include "serial/OpenFailure_posix.h"
#include "serial/PortLineRegistry.h"
#include "serial/PortName.h"
#include "serial/PosixIo.h"

namespace norvane {

const NativePortHandle INVALID_PORT_HANDLE = -1;

namespace {

// The system's text for an errno value, ending with a line break like a Windows message.
std::string SystemMessage(uint32_t code) {
    char buffer[256] = {};
    // Either strerror_r flavour: XSI returns int, GNU returns the text.
    struct Pick {
        static const char* Text(int result, const char* buf) { return result == 0 ? buf : ""; }
        static const char* Text(const char* result, const char*) { return result; }
    };
    const char* text =
        Pick::Text(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    return std::string(text) + "\n";
}

}  // namespace

CommPort::CommPort() : fileHandle(INVALID_PORT_HANDLE), impl(std::make_unique<Impl>()) {}

CommPort::~CommPort() {
    // Threads may run even on a port whose device is gone; Close stops them all.
    Close();
}

bool CommPort::Open(const char* name, uint32_t speed, const char* frameText, int openMode) {
    LineFrame frame;
    if (!ParseFrameText(frameText, &frame)) {
        portName = name != nullptr ? name : "";
        lastError = EINVAL;
        return false;
    }
    return Open(name, speed, frame.dataBits, frame.parity, frame.stopBits, openMode);
}

bool CommPort::Open(const char* name, uint32_t speed, uint8_t byteSize, uint8_t parity,
                    uint8_t stopBits, int openMode) {
    if (fileHandle != INVALID_PORT_HANDLE) {
        Close();  // never leak an earlier opening
    }
    portName = name != nullptr ? name : "";
    devicePath.clear();
    lastError = 0;
    openFailure = {};
    impl->lineGone.store(false, std::memory_order_relaxed);

    // The settings are worked out before the device is touched: a frame or speed the line
    // cannot take fails without opening anything.
    const LineFrame frame{byteSize, parity, stopBits};
    termios settings{};
    if (!posix::MakeLineSettings(termios{}, frame, speed, &settings)) {
        lastError = EINVAL;
        return false;
    }
    const std::optional<std::string> path = ResolvePortPath(portName);
    if (!path) {
        lastError = ENOENT;
        openFailure.kind = OpenFailureKind::NotPresent;
        return false;
    }
    devicePath = *path;
    auto refuse = [&](int error) {
        lastError = static_cast<uint32_t>(error);
        openFailure = posix::DescribeOpenFailure(error, devicePath);
        return false;
    };
    // A regular file, a directory or a FIFO is not opened at all: a read-only file would
    // otherwise read as "permission denied", and a FIFO's writer would see us. Nor is /dev/tty,
    // the terminal we were started from, whatever it is.
    struct stat node {};
    const bool exists = stat(devicePath.c_str(), &node) == 0;
    if (exists && (!S_ISCHR(node.st_mode) || node.st_rdev == makedev(5, 0))) {
        return refuse(ENOTTY);
    }
    // A second name for a device this program has open already (NORVANE_COM1 set to COM5's
    // default device) is that port again, not another program's: never opened twice.
    if (const auto openedAs = exists ? OpenPortNamed(node) : std::nullopt) {
        lastError = EBUSY;
        openFailure.kind = OpenFailureKind::OpenedTwice;
        openFailure.openedAs = *openedAs;
        return false;
    }

    int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return refuse(errno);
    }
    // Everything taken so far is released on any failure below.
    bool exclusive = false;
    bool configured = false;
    auto fail = [&](int error) {
        if (configured) {
            UnregisterPortLine(fd);
            tcsetattr(fd, TCSANOW, &impl->savedSettings);
        }
        if (exclusive) {  // never clear the flag of the program that holds the device
            ioctl(fd, TIOCNXCL);
        }
        close(fd);  // also drops the flock
        return refuse(error);
    };
    // The terminal we run on, by any of its names, is the user's, not a device's (tcgetsid
    // answers for the caller's controlling terminal only).
    if (!isatty(fd) || tcgetsid(fd) >= 0) {
        return fail(ENOTTY);
    }
    // Exclusive like a Windows port opened without sharing. TIOCEXCL keeps later opens out
    // (except privileged ones); the lock catches every program that locks, root included.
    int heldExclusively = 0;
    if (ioctl(fd, TIOCGEXCL, &heldExclusively) == 0 && heldExclusively != 0) {
        // Only a privileged open gets this far. A program that could not clear the flag
        // (killed) leaves it on a pseudo-terminal for good: with the lock free and no other
        // process holding the device, the flag is stale and ours from now on.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || posix::FindPortHolder(devicePath)) {
            return fail(EBUSY);
        }
        exclusive = true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        return fail(errno);
    }
    exclusive = true;
    if (tcgetattr(fd, &impl->savedSettings) != 0 || fstat(fd, &node) != 0) {
        return fail(errno);
    }
    posix::MakeLineSettings(impl->savedSettings, frame, speed, &settings);
    // Registered before the line changes, so that a program ending at once from here on
    // still puts it back.
    RegisterPortLine(fd, impl->savedSettings, node, portName);
    configured = true;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        return fail(errno);
    }
    // DTR and RTS stay off while the port is open; pseudo-terminals have no modem lines.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return fail(errno);
    }

    fileHandle = fd;
    baudRate = speed;
    mode = openMode;
    impl->line.Reset(speed, frame);
    impl->readMultiplier = 0;
    impl->readConstant = 0;
    return true;
}

bool CommPort::Close() {
    StopTransferThread();
    StopReceiver();
    impl->line.Dropped(MonotonicMicros());  // what is still on its way is no longer ours
    if (fileHandle == INVALID_PORT_HANDLE) {
        return true;
    }
    // The device may be gone already; restoring it is then pointless, not an error.
    UnregisterPortLine(fileHandle);
    tcsetattr(fileHandle, TCSANOW, &impl->savedSettings);
    ioctl(fileHandle, TIOCNXCL);
    // What came after the receiver stopped is nobody's. A hardware port frees it at the last
    // close; a pseudo-terminal would keep it for the next program to open the port, which
    // would take the start of a cut-off record for the start of the next one.
    tcflush(fileHandle, TCIFLUSH);
    const int result = close(fileHandle);
    fileHandle = INVALID_PORT_HANDLE;
    if (result != 0 && errno != EINTR) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool CommPort::SetTimeouts(uint32_t multiplier, uint32_t constant) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    impl->readMultiplier = multiplier;
    impl->readConstant = constant;
    return true;
}

bool CommPort::SetLineSpeed(uint32_t speed) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = EBADF;
        return false;
    }
    speed_t code = B0;
    if (!posix::SpeedCode(speed, &code)) {
        lastError = EINVAL;
        return false;
    }
    AwaitLineLeft(fileHandle, impl->line);  // the bytes handed over go at the old speed
    termios settings{};
    if (tcgetattr(fileHandle, &settings) != 0 || cfsetispeed(&settings, code) != 0 ||
        cfsetospeed(&settings, code) != 0 || tcsetattr(fileHandle, TCSANOW, &settings) != 0) {
        lastError = static_cast<uint32_t>(errno);
        return false;
    }
    impl->line.SetSpeed(speed);
    return true;
}

void CommPort::ShowLastError(const char* text) {
    const std::string report =
        FormatPortErrorText(text, lastError, SystemMessage(lastError), portName);
    std::fprintf(stderr, "%s\n", report.c_str());
}

bool CommPort::SignalNamedEvent() {
    return false;
}

bool CommPort::LineGone() const {
    return impl->lineGone.load(std::memory_order_acquire);
}

std::optional<PortHolder> CommPort::OtherHolder() const {
    if (fileHandle == INVALID_PORT_HANDLE) {
        return std::nullopt;
    }
    return posix::FindPortHolder(devicePath);
}

std::unique_ptr<SerialPort> CreateCommPort() {
    return std::make_unique<CommPort>();
}

}  // namespace norvane
