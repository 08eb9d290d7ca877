// Opening, configuring and releasing the port on a pseudo-terminal.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "serial/CommPort.h"
#include "tests/serial/PtyPair.h"
#include "tests/support/Footprint.h"

namespace norvane {
namespace {

using test::PtyPair;

class OpenClose : public ::testing::Test {
protected:
    PtyPair pty;
};

TEST_F(OpenClose, ConfiguresRaw8N1AtTheGivenSpeed) {
    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
    EXPECT_GE(port.fileHandle, 0);
    EXPECT_EQ(port.portName, "COM1");
    EXPECT_EQ(port.devicePath, pty.slavePath);
    EXPECT_EQ(port.baudRate, 9600u);

    const termios line = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&line), B9600);
    EXPECT_EQ(cfgetispeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(line.c_cflag & CLOCAL, 0u);
    EXPECT_NE(line.c_cflag & CREAD, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);

    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.fileHandle, INVALID_PORT_HANDLE);
}

TEST_F(OpenClose, FrameReachesTheLine) {
    // A pseudo-terminal forces 8 data bits and no parity, so only the rest is visible here;
    // LineSettings covers data bits and parity.
    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 19200, "7E2", MODE_RECEIVER)) << port.lastError;
    termios line = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&line), B19200);
    EXPECT_EQ(line.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(CSTOPB));
    ASSERT_TRUE(port.Close());

    ASSERT_TRUE(port.Open("COM1", 38400, 6, PARITY_ODD, STOP_BITS_ONE, MODE_DIRECT));
    line = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&line), B38400);
    EXPECT_EQ(line.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(PARODD));
}

TEST_F(OpenClose, CloseRestoresTheLineAsFound) {
    const termios before = pty.MasterSettings();
    {
        CommPort port;
        ASSERT_TRUE(port.Open("COM1", 115200, "8N1", MODE_RECEIVER));
    }
    const termios after = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

// A hardware port frees its buffers at the last close; a pseudo-terminal keeps them. The start
// of a record that came after the receiver stopped would otherwise be glued by the next opener
// to a later record's end ("READYO" + "READYOS* 201" reads as kind "OR").
TEST_F(OpenClose, BytesUnreadAtCloseAreNotLeftForTheNextOpener) {
    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
    pty.WriteToSlave({'R', 'E', 'A', 'D', 'Y', 'O'});
    auto waiting = [&] {
        int count = -1;
        return ioctl(port.fileHandle, FIONREAD, &count) == 0 ? count : -1;
    };
    ASSERT_TRUE(test::WaitUntil([&] { return waiting() == 6; }, std::chrono::seconds(2)));
    ASSERT_TRUE(port.Close());
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
    EXPECT_EQ(waiting(), 0);
}

TEST_F(OpenClose, RejectsBadFramesAndSpeedsWithoutTouchingTheDevice) {
    const size_t fds = test::OpenFdCount();
    CommPort port;
    EXPECT_FALSE(port.Open("COM1", 9600, "8N3", MODE_RECEIVER));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(port.Open("COM1", 12345, "8N1", MODE_RECEIVER));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(port.Open("COM1", 9600, 8, PARITY_NONE, STOP_BITS_ONE5, MODE_RECEIVER));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EINVAL));
    EXPECT_EQ(port.fileHandle, INVALID_PORT_HANDLE);
    EXPECT_EQ(test::OpenFdCount(), fds);
}

TEST_F(OpenClose, MissingAndBusyPortsFailDistinguishably) {
    const size_t fds = test::OpenFdCount();
    CommPort missing;
    EXPECT_FALSE(missing.Open("COM2", 9600, "8N1", MODE_RECEIVER));  // NORVANE_COM2 is empty
    EXPECT_EQ(missing.lastError, static_cast<uint32_t>(ENOENT));
    EXPECT_FALSE(missing.Open("/dev/norvane-no-such-tty", 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(missing.lastError, static_cast<uint32_t>(ENOENT));

    CommPort first;
    ASSERT_TRUE(first.Open("COM1", 9600, "8N1", MODE_RECEIVER));
    const size_t fdsWhileOpen = test::OpenFdCount();
    CommPort second;
    EXPECT_FALSE(second.Open("COM1", 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(second.lastError, static_cast<uint32_t>(EBUSY));
    EXPECT_EQ(second.fileHandle, INVALID_PORT_HANDLE);
    EXPECT_EQ(test::OpenFdCount(), fdsWhileOpen);  // the failed Open kept nothing
    // By another name of the same device: this program's own port, not another program's.
    EXPECT_FALSE(second.Open(pty.slavePath.c_str(), 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(second.LastOpenFailure().kind, OpenFailureKind::OpenedTwice);
    EXPECT_EQ(second.LastOpenFailure().openedAs, "COM1");

    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << second.lastError;
    second.Close();
    EXPECT_EQ(test::OpenFdCount(), fds);
}

TEST_F(OpenClose, DeviceLockedByAnotherOpenerIsBusy) {
    const int holder = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    CommPort port;
    EXPECT_FALSE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EBUSY));
    close(holder);
    EXPECT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
}

TEST_F(OpenClose, NotATerminalIsRefused) {
    CommPort port;
    EXPECT_FALSE(port.Open("/dev/null", 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(ENOTTY));
}

TEST_F(OpenClose, FailuresSayWhatTheUserCanDoAboutThem) {
    const std::string folder = ::testing::TempDir() + "norvane-open-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string file = folder + "/file";
    const std::string fifo = folder + "/fifo";
    close(open(file.c_str(), O_CREAT | O_WRONLY, 0400));  // read-only: still "not a serial port"
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        OpenFailureKind kind;
    } cases[] = {{file, OpenFailureKind::NotSerialPort},
                 {fifo, OpenFailureKind::NotSerialPort},
                 {folder, OpenFailureKind::NotSerialPort},
                 {"/dev/null", OpenFailureKind::NotSerialPort},
                 {"/dev/tty", OpenFailureKind::NotSerialPort},
                 {folder + "/none", OpenFailureKind::NotPresent},
                 {"COM2", OpenFailureKind::NotPresent}};  // NORVANE_COM2 is empty
    for (const auto& c : cases) {
        CommPort port;
        EXPECT_FALSE(port.Open(c.path.c_str(), 9600, "8N1", MODE_RECEIVER)) << c.path;
        EXPECT_EQ(port.LastOpenFailure().kind, c.kind) << c.path;
    }
    unlink(file.c_str());
    unlink(fifo.c_str());
    rmdir(folder.c_str());

    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER));
    EXPECT_EQ(port.LastOpenFailure().kind, OpenFailureKind::None);
}

TEST_F(OpenClose, APortHeldByAnotherProgramNamesIt) {
    // The holder says when it holds the lock (a port opened first is exclusive, TIOCEXCL, and
    // only root could open it after that), and its exec closes the pipe: then it is `sleep`.
    int locked[2];
    ASSERT_EQ(pipe2(locked, O_CLOEXEC), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {  // holds the port locked, as a terminal program does, then waits
        const int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(locked[1], "L", 1) != 1) {
            _exit(1);
        }
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(1);
    }
    close(locked[1]);
    char byte = 0;
    const ssize_t told = read(locked[0], &byte, 1);
    const ssize_t end = read(locked[0], &byte, 1);
    close(locked[0]);
    ASSERT_EQ(told, 1) << "the holder could not lock " << pty.slavePath;
    ASSERT_EQ(end, 0);
    CommPort port;
    ASSERT_TRUE(test::WaitUntil(  // until the holder has the port and runs `sleep`
        [&] {
            return !port.Open("COM1", 9600, "8N1", MODE_RECEIVER) &&
                   port.LastOpenFailure().holder.name == "sleep";
        },
        std::chrono::seconds(30)));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    const OpenFailure failure = port.LastOpenFailure();
    EXPECT_EQ(failure.kind, OpenFailureKind::InUse);
    EXPECT_EQ(failure.holder.pid, holder);
    EXPECT_EQ(failure.holder.name, "sleep");
    EXPECT_EQ(failure.holder.known, KnownHolder::Other);
}

TEST_F(OpenClose, AnExclusiveFlagNobodyHoldsIsTakenOverAndClearedOnClose) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only a privileged open passes a pseudo-terminal's exclusive flag";
    }
    // What a killed program leaves: the flag on the pseudo-terminal, no process, no lock.
    const int killed = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(ioctl(killed, TIOCEXCL), 0);
    close(killed);
    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
    ASSERT_TRUE(port.Close());
    const int after = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int exclusive = -1;
    ASSERT_EQ(ioctl(after, TIOCGEXCL, &exclusive), 0);
    close(after);
    EXPECT_EQ(exclusive, 0);
}

TEST_F(OpenClose, PermissionDeniedForAnOrdinaryUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become an ordinary user";
    }
    ASSERT_EQ(chmod(pty.slavePath.c_str(), 0600), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // nobody, in no group
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0) {
            _exit(2);
        }
        CommPort port;
        const bool opened = port.Open("COM1", 9600, "8N1", MODE_RECEIVER);
        _exit(!opened && port.LastOpenFailure().kind == OpenFailureKind::PermissionDenied ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(OpenClose, OperationsOnAClosedPortFailWithBadHandle) {
    CommPort port;
    EXPECT_TRUE(port.Close());  // nothing to release
    const uint8_t byte = 0x55;
    EXPECT_FALSE(port.Write(&byte, 1, true));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EBADF));
    port.lastError = 0;
    EXPECT_FALSE(port.Write(&byte, 1, false));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EBADF));
    uint8_t ring[16];
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
    EXPECT_FALSE(port.StartReceiver(ring, sizeof ring, &writeIndex, &readIndex));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EBADF));
    EXPECT_FALSE(port.SignalNamedEvent());
}

TEST_F(OpenClose, SetLineSpeedChangesTheLineButNotBaudRate) {
    CommPort port;
    ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER));
    for (uint32_t speed : {19200u, 38400u, 57600u, 115200u, 9600u, 115200u}) {
        ASSERT_TRUE(port.SetLineSpeed(speed)) << speed;
    }
    const termios line = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&line), B115200);
    EXPECT_EQ(cfgetispeed(&line), B115200);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));  // the frame stays
    EXPECT_EQ(port.baudRate, 9600u);
    EXPECT_FALSE(port.SetLineSpeed(1234));
    EXPECT_EQ(port.lastError, static_cast<uint32_t>(EINVAL));
}

TEST_F(OpenClose, NothingIsLeftAfterCloseOrDestruction) {
    const size_t fds = test::OpenFdCount();
    const size_t threads = test::ThreadCount();
    uint8_t ring[64];
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
    const std::vector<uint8_t> big = test::Pattern(256 * 1024, 1);
    {
        CommPort port;
        for (int round = 0; round < 2; ++round) {  // a closed port opens again
            ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) << port.lastError;
            ASSERT_TRUE(port.StartReceiver(ring, sizeof ring, &writeIndex, &readIndex));
            ASSERT_TRUE(port.Write(big.data(), static_cast<uint32_t>(big.size()), false));
            EXPECT_TRUE(port.TransferInProgress());  // nobody reads the master
            EXPECT_GT(test::ThreadCount(), threads);
            EXPECT_TRUE(port.Close());
            EXPECT_FALSE(port.TransferInProgress());
            EXPECT_EQ(test::OpenFdCount(), fds);
            EXPECT_EQ(test::SettledThreadCount(threads), threads);
        }
        ASSERT_TRUE(port.Open("COM1", 9600, "8N1", MODE_RECEIVER));
        ASSERT_TRUE(port.StartReceiver(ring, sizeof ring, &writeIndex, &readIndex));
        ASSERT_TRUE(port.Write(big.data(), static_cast<uint32_t>(big.size()), false));
    }  // destroyed while open, receiving and writing
    EXPECT_EQ(test::OpenFdCount(), fds);
    EXPECT_EQ(test::SettledThreadCount(threads), threads);
}

TEST_F(OpenClose, ShowLastErrorReportsOnStandardError) {
    CommPort port;
    EXPECT_FALSE(port.Open("COM2", 9600, "8N1", MODE_RECEIVER));
    ::testing::internal::CaptureStderr();
    port.ShowLastError("Open");
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown.rfind("Open:\n\nMessaggio:\t[002] ", 0), 0u) << shown;
    EXPECT_NE(shown.find("\nPorta:\t\tCOM2"), std::string::npos) << shown;
}

}  // namespace
}  // namespace norvane
