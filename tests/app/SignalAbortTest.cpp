// Stop signals in a child process that has a port open: the first one reaches the program on a
// thread of its own; one of another kind while stopping changes nothing; a second one of the
// same kind ends the program at once with status 18 and the port's line as it was found,
// exclusive flag cleared.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "app/SignalAbort.h"
#include "serial/CommPort.h"
#include "tests/serial/PtyPair.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;

// Runs in the forked child; reports on `report` what the first `stop` signal's callback saw.
[[noreturn]] void ChildWithAnOpenPort(int report, int stop) {
    // As a program started from a terminal has them (a test run from a shell's background job
    // inherits SIGINT and SIGQUIT ignored, and an ignored signal stays ignored).
    signal(SIGINT, SIG_DFL);
    signal(stop, SIG_DFL);
    CommPort port;
    if (!port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) {
        _exit(90);
    }
    std::atomic<int> seen{0};
    std::atomic<bool> otherThread{false};
    const auto main = std::this_thread::get_id();
    InstallSignalAbort([&](int signal) {
        otherThread = std::this_thread::get_id() != main;
        seen = signal;
    });
    kill(getpid(), stop);
    for (int i = 0; i < 2000 && seen == 0; ++i) {  // until the watcher thread has seen it
        std::this_thread::sleep_for(5ms);
    }
    const char line[2] = {static_cast<char>(seen.load()), otherThread ? 'T' : 'M'};
    [[maybe_unused]] const ssize_t written = write(report, line, 2);
    // Delivered before kill returns (the calling thread takes a signal it sends itself).
    kill(getpid(), SIGINT);  // another kind while stopping: ignored
    kill(getpid(), stop);    // the same kind again: ends the program here
    _exit(91);
}

class SignalAbort : public testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(StopSignals, SignalAbort, testing::Values(SIGTERM, SIGQUIT));

TEST_P(SignalAbort, FirstSignalCallsBackSecondEndsAtOnceWithTheLinePutBack) {
    const int stop = GetParam();
    test::PtyPair pty;
    termios found = pty.MasterSettings();
    found.c_lflag |= ICANON | ECHO;  // a cooked line, as a console would have it
    cfsetospeed(&found, B38400);
    cfsetispeed(&found, B38400);
    ASSERT_EQ(tcsetattr(pty.master, TCSANOW, &found), 0);
    found = pty.MasterSettings();

    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        ChildWithAnOpenPort(report[1], stop);
    }
    close(report[1]);
    char line[2] = {};
    EXPECT_EQ(read(report[0], line, 2), 2);
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    EXPECT_EQ(line[0], stop);
    EXPECT_EQ(line[1], 'T') << "the callback ran on the main thread";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 18);
    const termios after = pty.MasterSettings();
    EXPECT_EQ(cfgetospeed(&after), B38400);
    EXPECT_EQ(after.c_lflag, found.c_lflag);
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(after.c_oflag, found.c_oflag);
    EXPECT_EQ(after.c_cflag, found.c_cflag);
    // Nor does the line keep its exclusive flag: every later opener would be refused.
    const int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    close(fd);
    EXPECT_EQ(exclusive, 0);
}

}  // namespace
}  // namespace norvane
