// When the search finds no device, the result box's second text tells each port's story: what
// the user can do about a port that is not a serial port, that they may not open, that
// another program holds, or on which no device answered. Real serial code over files, FIFOs
// and pseudo-terminals, on a clock running twenty times faster than real time.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "serial/CommPort.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/FastClock.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SimulatedJob.h"
#include "tests/support/WholeJob.h"

namespace norvane {
namespace {

class PseudoTerminal {
public:
    PseudoTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
            ptsname_r(master, name, sizeof name) == 0) {
            path = name;
        }
    }
    ~PseudoTerminal() { close(master); }
    int master = -1;
    std::string path;
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A child process that holds `path` open and locked, as a terminal program does; named `name`
// when given (as another Norvane would be), else `sleep`.
pid_t HoldPort(const std::string& path, const char* name) {
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0) {
            _exit(1);
        }
        if (name != nullptr) {
            prctl(PR_SET_NAME, name);
            pause();
        }
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(1);
    }
    // Until the holder has the port and goes by its name (`sleep` only once it has run it).
    const std::string comm = "/proc/" + std::to_string(holder) + "/comm";
    const std::string named = std::string(name != nullptr ? name : "sleep") + "\n";
    bool ready = false;
    for (int i = 0; holder > 0 && !ready && i < 30'000; ++i) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ready = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && ReadFile(comm) == named;
        close(fd);
        usleep(1000);
    }
    return holder;
}

void EndHolder(pid_t holder) {
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
}

void PointCom(int n, const std::string& path) {
    setenv(("NORVANE_COM" + std::to_string(n)).c_str(), path.c_str(), 1);
}

class PortStory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(strings.Load(StringTableResource()));
        for (int n = 1; n <= 8; ++n) {
            PointCom(n, "");
        }
    }

    // The whole job with the real ports; the search's 30 s take 1.5 s.
    FlashResult RunJob() {
        test::FastClock clock(20);
        std::atomic<int> abortFlag = 0;
        return test::RunWholeJob(test::DemoTestImage(), CreateCommPort, clock, strings, events,
                                 abortFlag);
    }

    std::string Detail() const { return events.Detail(); }

    // The second text of a job run in a forked child that `become` first turns into another
    // kind of process (an ordinary user, a session with a terminal of its own). The child must
    // find no device.
    std::string DetailOfJobIn(const std::function<bool()>& become) {
        int report[2];
        if (pipe(report) != 0) {
            ADD_FAILURE() << "pipe";
            return {};
        }
        const pid_t child = fork();
        if (child == 0) {
            close(report[0]);
            if (!become()) {
                _exit(2);
            }
            const FlashResult result = RunJob();
            const std::string detail = Detail();
            [[maybe_unused]] const ssize_t written = write(report[1], detail.data(), detail.size());
            _exit(result == MakeResult(RC_NO_DEVICE) ? 0 : 1);
        }
        close(report[1]);
        const std::string detail = ReadAll(report[0]);
        close(report[0]);
        int status = -1;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        return detail;
    }

    MultiStrings strings;
    test::RecordingSink events;
};

TEST_F(PortStory, EveryPortThatWasNotSimplyAbsentGetsItsLine) {
    const std::string folder = ::testing::TempDir() + "norvane-story-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string file = folder + "/file";
    const std::string fifo = folder + "/fifo";
    close(open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    PseudoTerminal held, silent, chatty, norvane;
    ASSERT_FALSE(held.path.empty());
    const pid_t holder = HoldPort(held.path, nullptr);
    const pid_t otherNorvane = HoldPort(norvane.path, "norvane");
    ASSERT_GT(holder, 0);
    ASSERT_GT(otherNorvane, 0);
    // Bytes, but never a greeting.
    ASSERT_EQ(write(chatty.master, "AT\r\nOK\r\n", 8), 8);
    PointCom(1, file);
    PointCom(2, fifo);
    PointCom(3, folder + "/missing");
    PointCom(4, held.path);
    PointCom(5, silent.path);
    PointCom(6, chatty.path);
    PointCom(7, folder);
    PointCom(8, norvane.path);

    EXPECT_EQ(RunJob(), MakeResult(RC_NO_DEVICE));
    EndHolder(holder);
    EndHolder(otherNorvane);
    unlink(file.c_str());
    unlink(fifo.c_str());
    rmdir(folder.c_str());

    const std::vector<std::string> lines = {
        "COM1 (" + file + ") is not a serial port.",
        "COM2 (" + fifo + ") is not a serial port.",
        "COM4 (" + held.path + ") is in use by sleep. Close it and try again.",
        "COM5 (" + silent.path + "): opened, but no device answered.",
        "COM6 (" + chatty.path + "): data arrived, but no device greeting.",
        "COM7 (" + folder + ") is not a serial port.",
        "COM8 (" + norvane.path + ") is in use by another Norvane (process " +
            std::to_string(otherNorvane) + "). Let it finish first.",
    };
    std::string expected;
    for (const std::string& line : lines) {
        expected += (expected.empty() ? "" : "\n") + line;
    }
    EXPECT_EQ(Detail(), expected);
}

// ModemManager probes every new adapter and brltty takes some for itself: the line says which
// one holds the port and how to stop it.
TEST_F(PortStory, ModemManagerAndBrlttyAreNamedWithWhatToDo) {
    PseudoTerminal probed, taken;
    const pid_t modemManager = HoldPort(probed.path, "ModemManager");
    const pid_t brltty = HoldPort(taken.path, "brltty");
    ASSERT_GT(modemManager, 0);
    ASSERT_GT(brltty, 0);
    PointCom(1, probed.path);
    PointCom(2, taken.path);

    EXPECT_EQ(RunJob(), MakeResult(RC_NO_DEVICE));
    EndHolder(modemManager);
    EndHolder(brltty);

    EXPECT_EQ(Detail(),
              "COM1 (" + probed.path +
                  ") is held by ModemManager, which opens new serial adapters to look for a "
                  "modem. Stop it while you program (sudo systemctl stop ModemManager), or have "
                  "it leave the adapter alone with a udev rule that sets ID_MM_DEVICE_IGNORE (see "
                  "the README).\nCOM2 (" +
                  taken.path +
                  ") is held by brltty (braille display support), which takes some USB serial "
                  "adapters for itself. Without a braille display, remove it (sudo apt-get remove "
                  "brltty).");
}

TEST_F(PortStory, ASecondNameForAPortOpenedAlreadyIsThatPortNotAnotherProgram) {
    PseudoTerminal device;
    const std::string link = ::testing::TempDir() + "norvane-same-" + std::to_string(getpid());
    ASSERT_EQ(symlink(device.path.c_str(), link.c_str()), 0);
    PointCom(1, device.path);
    PointCom(5, link);  // as COM5's default /dev/ttyUSB0 would be with NORVANE_COM1 set to it
    EXPECT_EQ(RunJob(), MakeResult(RC_NO_DEVICE));
    unlink(link.c_str());
    EXPECT_EQ(Detail(), "COM1 (" + device.path + "): opened, but no device answered.\nCOM5 (" +
                            link + ") is the same port as COM1.");
}

TEST_F(PortStory, AProgramThatHoldsThePortWithoutALockIsNamed) {
    PseudoTerminal device;
    const pid_t cat = fork();
    ASSERT_GE(cat, 0);
    if (cat == 0) {  // a stray `cat` on the port: it reads, and locks nothing
        const int fd = open(device.path.c_str(), O_RDONLY | O_NOCTTY);
        if (fd < 0 || dup2(fd, 0) != 0) {
            _exit(1);
        }
        execlp("cat", "cat", static_cast<char*>(nullptr));
        _exit(1);
    }
    const std::string comm = "/proc/" + std::to_string(cat) + "/comm";
    for (int i = 0; i < 10'000 && ReadFile(comm) != "cat\n"; ++i) {  // until it runs
        usleep(1000);
    }
    ASSERT_EQ(ReadFile(comm), "cat\n");
    PointCom(1, device.path);
    EXPECT_EQ(RunJob(), MakeResult(RC_NO_DEVICE));
    EndHolder(cat);
    EXPECT_EQ(Detail(),
              "COM1 (" + device.path + "): opened, but no device answered. cat (process " +
                  std::to_string(cat) + ") has this port open as well. Close it and try again.");
}

TEST_F(PortStory, TheProgramsOwnTerminalIsNoSerialPort) {
    PseudoTerminal terminal;
    PointCom(1, "/dev/tty");
    PointCom(2, terminal.path);
    const std::string detail = DetailOfJobIn([&] {  // a session whose terminal is that one
        const int fd = setsid() < 0 ? -1 : open(terminal.path.c_str(), O_RDWR);
        return fd >= 0 && tcgetsid(fd) == getpid();
    });
    EXPECT_EQ(detail, "COM1 (/dev/tty) is not a serial port.\nCOM2 (" + terminal.path +
                          ") is not a serial port.");
}

TEST_F(PortStory, PermissionDeniedToAnOrdinaryUserNamesTheDialoutGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become an ordinary user";
    }
    PseudoTerminal device;
    ASSERT_EQ(chmod(device.path.c_str(), 0600), 0);
    PointCom(1, device.path);
    const std::string detail = DetailOfJobIn([] {  // nobody, in no group
        return setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
               setresuid(65534, 65534, 65534) == 0;
    });
    EXPECT_EQ(detail, "COM1 (" + device.path +
                          "): permission denied. Add your user to the dialout group (sudo usermod "
                          "-aG dialout $USER), log in again, and check with: id -nG");
}

}  // namespace
}  // namespace norvane
