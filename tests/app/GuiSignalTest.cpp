// A stop signal to the running window program, or the loss of its display: the job stops as
// for Esc, the program exits with status 18 without waiting for OK, says why on stderr, and the
// device's line is as it was found.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "tests/app/GuiSession.h"

namespace norvane::test {
namespace {

// The slave's settings, read through a descriptor of our own (root passes the port's
// exclusive flag).
std::optional<termios> LineOf(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    termios line{};
    const bool read = tcgetattr(fd, &line) == 0;
    close(fd);
    return read ? std::optional(line) : std::nullopt;
}

// The line's exclusive flag (TIOCGEXCL); -1 when it cannot be read.
int ExclusiveFlagOf(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = -1;
    if (fd >= 0 && ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        exclusive = -1;
    }
    close(fd);
    return exclusive;
}

// Runs the window program against a slow TV device on a cooked 38400-baud line, calls `stop`
// once it programs, and checks that it stops as for Esc: status 18 within 2 s, no box waiting
// for OK, "Programming interrupted" on stderr, the line as found and no longer exclusive.
void StopsWhileProgrammingAndPutsTheLineBack(const std::string& name,
                                             const std::function<void(GuiSession&)>& stop) {
    GuiSession s(name);
    const std::string pty =
        s.StartDevice({"--kind", "TV", "--serial", "7654321", "--block-ms", "100"});
    ASSERT_FALSE(pty.empty());
    // A cooked line at 38400 baud, as a console would leave it; the program sets 9600 raw.
    auto found = LineOf(pty);
    ASSERT_TRUE(found);
    found->c_lflag |= ICANON | ECHO;
    cfsetospeed(&*found, B38400);
    cfsetispeed(&*found, B38400);
    {
        const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &*found), 0);
        close(fd);
    }
    found = LineOf(pty);
    s.StartProgram(pty);

    int programming = -1;
    for (int from = 0; programming < 0;) {
        const int line = s.WaitForLine("label status", 30s, from);
        ASSERT_GE(line, 0) << s.ProgramStderr();
        if (s.TextOf(line).rfind("Programming flash memory", 0) == 0) {
            programming = line;
        }
        from = line + 1;
    }
    const auto sent = Clock::now();
    stop(s);
    const auto status = s.WaitForExit(5s);
    const auto took = Clock::now() - sent;
    ASSERT_TRUE(status) << "still waiting (for OK?)";
    EXPECT_EQ(*status, 18) << Dump(s);
    EXPECT_LT(took, 2s);
    testing::Test::RecordProperty(
        "exit_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(s.WaitForLine("message-window", 0ms), -1) << "no box waits for OK";
    EXPECT_NE(s.ProgramStderr().find("Programming interrupted"), std::string::npos)
        << s.ProgramStderr();

    const auto after = LineOf(pty);
    ASSERT_TRUE(after);
    EXPECT_EQ(cfgetospeed(&*after), B38400);
    EXPECT_EQ(after->c_lflag, found->c_lflag);
    EXPECT_EQ(after->c_iflag, found->c_iflag);
    EXPECT_EQ(after->c_cflag, found->c_cflag);
    EXPECT_EQ(ExclusiveFlagOf(pty), 0);
}

TEST(GuiSignal, SigtermWhileProgrammingExitsWith18AndPutsTheLineBack) {
    StopsWhileProgrammingAndPutsTheLineBack(
        "sigterm-programming", [](GuiSession& s) { ASSERT_EQ(kill(s.ProgramPid(), SIGTERM), 0); });
}

// The X session ends (the server goes away) while the window programs: as for SIGHUP.
TEST(GuiSignal, LosingTheDisplayWhileProgrammingStopsAsForHangUp) {
    StopsWhileProgrammingAndPutsTheLineBack("display-lost", [](GuiSession& s) { s.StopDisplay(); });
}

}  // namespace
}  // namespace norvane::test
