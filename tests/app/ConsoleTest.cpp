// norvane-console as a user or a script runs it: against norvane-devsim on a pseudo-terminal,
// its output on a terminal of its own or in a file, every other COMn empty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/app/ConsoleLines.h"
#include "tests/app/GuiSession.h"
#include "tests/support/DevsimProcess.h"

namespace norvane::test {
namespace {

// The master side of a pseudo-terminal for the program's output, so that it sees a terminal.
class OutputTerminal {
public:
    OutputTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
    }
    ~OutputTerminal() { close(master_); }
    void SetColumns(unsigned short columns) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = columns;
        ioctl(master_, TIOCSWINSZ, &size);
    }
    const std::string& Path() const { return path_; }
    std::string ReadAll() {
        std::string text;
        pollfd p{master_, POLLIN, 0};
        char buffer[4096];
        ssize_t n;
        while (poll(&p, 1, 200) > 0 && (n = read(master_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

private:
    int master_ = -1;
    std::string path_;
};

class ConsoleRun : public testing::Test {
protected:
    // The device greets once, 50 ms after the program has opened the line (GuiSession's
    // StartDevice says why).
    std::string StartDevice(std::vector<std::string> args) {
        args.insert(args.begin(), {"--greet-on-open", "--first-greeting-ms", "50"});
        device_ = std::make_unique<Devsim>(std::move(args));
        return device_->ReadPath();
    }
    // The whole runs carry a small OS image: the demo TV image takes a minute on the wire.
    ChildProcess Start(const std::vector<std::string>& args, const std::string& com1,
                       const std::string& out, const char* program = NORVANE_CONSOLE_OS_PATH) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        return StartChild(argv, PortsWith(com1), out, err_);
    }
    std::string Errors() const { return ReadFile(err_); }
    // Until the program's output holds `text`: a generous limit, for a busy machine and the
    // sanitizers' pace.
    bool OutputShows(const std::string& text) const {
        const auto end = Clock::now() + 60s;
        while (ReadFile(out_).find(text) == std::string::npos) {
            if (Clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    std::unique_ptr<Devsim> device_;
    const std::string out_ = WorkFile("out");
    const std::string err_ = WorkFile("err");
};

TEST_F(ConsoleRun, ProgramsTheDeviceOnATerminalWithOneProgressLineRedrawn) {
    // A serial number that would clear the operator's screen if it were printed as it came.
    const std::string port = StartDevice({"--kind", "OS", "--pace", "--serial", "\x1b[2J12"});
    OutputTerminal terminal;
    terminal.SetColumns(36);
    ChildProcess console = Start({}, port, terminal.Path());
    std::string shown;
    while (console.Running()) {
        shown += terminal.ReadAll();
    }
    shown += terminal.ReadAll();
    EXPECT_EQ(console.Wait(0ms), 0);
    // The terminal turns "\n" into "\r\n"; a redraw is a '\r' that no '\n' follows.
    EXPECT_NE(shown.find("Device: Osk3"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Serial number: \\x1b[2J12"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << "the device's escape reached the terminal";
    EXPECT_NE(shown.find("100%\r\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("%\rProgramming"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Device correctly programmed\r\n"), std::string::npos) << shown;
    // Every phase that gave way to the next ended complete; no drawn line is wider than the
    // terminal (the verification's "... 100%" is cut to fit).
    EXPECT_NE(shown.find("Erasing flash memory #0... 100%\r\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find(" 0%\r\n"), std::string::npos) << shown;
    size_t widest = 0;
    for (size_t at = 0, end; at < shown.size(); at = end + 1) {
        end = std::min(shown.find_first_of("\r\n", at), shown.size());
        widest = std::max(widest, end - at);
    }
    EXPECT_EQ(widest, 35u) << shown;
    EXPECT_EQ(Errors(), "");
}

TEST_F(ConsoleRun, JsonLinesParseAndTellTheWholeRun) {
    const std::string port = StartDevice({"--kind", "OS", "--pace"});
    ChildProcess console = Start({"--json"}, port, out_);
    ASSERT_EQ(console.Wait(60s), 0);
    std::map<std::string, int> events;
    std::map<std::string, std::string> found, result;
    for (const std::string& line : LinesOf(ReadFile(out_))) {
        std::map<std::string, std::string> fields;
        ASSERT_TRUE(ParseJsonObject(line, &fields)) << line;
        ++events[fields["event"]];
        if (fields["event"] == "found") {
            found = fields;
        } else if (fields["event"] == "result") {
            result = fields;
        }
    }
    EXPECT_EQ(events["version"], 1);
    EXPECT_EQ(events["found"], 1);
    EXPECT_GE(events["phase"], 4);
    EXPECT_GT(events["progress"], 36);  // a position for every block at least
    EXPECT_EQ(events["result"], 1);
    EXPECT_EQ(found["port"], "COM1");
    EXPECT_EQ(found["device"], "Osk3");
    EXPECT_EQ(result["status"], "0");
    EXPECT_EQ(result["message"], "Device correctly programmed");
}

TEST_F(ConsoleRun, AnUnknownArgumentIsRefusedBeforeAnyPortIsOpened) {
    const std::string log = TempLog("console-refused");
    const std::string port = StartDevice({"--kind", "TV", "--log", log});
    ChildProcess console = Start({"--json", "--port=COM1"}, port, out_, NORVANE_CONSOLE_PATH);
    EXPECT_EQ(console.Wait(10s), 64);
    EXPECT_EQ(ReadFile(out_), "");
    EXPECT_EQ(Errors(), "norvane-console: unknown argument \"--port=COM1\". Try --help.\n");
    device_->Signal(SIGTERM);
    device_->Wait();
    EXPECT_NE(Slurp(log).find("received 0 \n"), std::string::npos) << Slurp(log);
}

TEST_F(ConsoleRun, AReaderThatGoesAwayDoesNotStopTheRunButIsToldOfIt) {
    const std::string port = StartDevice({"--kind", "OS", "--pace"});
    const std::string fifo = WorkFile("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Not inherited: the program must be left without any reader.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ChildProcess console = Start({"--json"}, port, fifo);
    pollfd p{reader, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 5000), 0);  // the program has started writing
    close(reader);                    // and nobody reads any more
    // The device is programmed all the same; the script is told that its report was lost.
    EXPECT_EQ(console.Wait(60s), 74);
    EXPECT_EQ(Errors(),
              "norvane-console: the report could not be written (Broken pipe). The outcome was: "
              "Device correctly programmed\n");
    unlink(fifo.c_str());
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << "the port is still held";
    close(fd);
}

// Ctrl+\\ at a terminal sends SIGQUIT: a stop signal like the others, never a dump with the
// port left at the program's settings.
class ConsoleStop : public ConsoleRun, public testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(StopSignals, ConsoleStop, testing::Values(SIGTERM, SIGQUIT));

TEST_P(ConsoleStop, AStopSignalWhileProgrammingInterruptsAndPutsThePortBack) {
    const std::string port = StartDevice({"--kind", "TV", "--pace"});
    // Settings of the port's own, for the program to find and put back.
    {
        const int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        tcgetattr(fd, &t);
        cfsetispeed(&t, B4800);
        cfsetospeed(&t, B4800);
        t.c_lflag |= ICANON | ECHO;
        tcsetattr(fd, TCSANOW, &t);
        close(fd);
    }
    ChildProcess console = Start({"--json"}, port, out_, NORVANE_CONSOLE_PATH);
    ASSERT_TRUE(OutputShows("Programming")) << ReadFile(out_);
    console.Signal(GetParam());
    EXPECT_EQ(console.Wait(5s), 18);
    EXPECT_NE(
        ReadFile(out_).find(R"({"event":"result","status":18,"message":"Programming interrupted")"),
        std::string::npos);
    EXPECT_NE(Errors().find("Programming interrupted"), std::string::npos);

    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << "the port is still held";
    termios t{};
    tcgetattr(fd, &t);
    close(fd);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
}

// A program killed outright (kill -9, a crash) cannot clear the port's exclusive flag, and a
// pseudo-terminal keeps it: the next run must still find the device there.
TEST_F(ConsoleRun, APortLeftByAKilledRunIsNotTakenForAnotherProgram) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string port = ptsname(master);
    {
        ChildProcess killed = Start({"--json"}, port, out_, NORVANE_CONSOLE_PATH);
        ASSERT_TRUE(OutputShows("Searching")) << ReadFile(out_);  // its ports are open
        killed.Signal(SIGKILL);
        EXPECT_EQ(killed.Wait(5s), 128 + SIGKILL);
    }
    ChildProcess console = Start({"--json"}, port, out_, NORVANE_CONSOLE_PATH);
    ASSERT_TRUE(OutputShows("Searching")) << ReadFile(out_) << Errors();
    const std::string greeting = "READYTV7654321 \n";
    ASSERT_EQ(write(master, greeting.data(), greeting.size()), 16);
    EXPECT_TRUE(OutputShows(R"({"event":"found","port":"COM1")")) << ReadFile(out_) << Errors();
    console.Signal(SIGTERM);
    EXPECT_EQ(console.Wait(10s), 18);
    close(master);
}

}  // namespace
}  // namespace norvane::test
