// The program on a real (virtual) display against the device simulator: what the window
// shows, the keys and close requests it gets while the job runs, the boxes and the exit
// status. Keys go to the real window with xdotool; the window's trace says what it shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "tests/app/GuiSession.h"

namespace norvane::test {
namespace {

// Per-block time of the simulated device where a test needs the programming to last.
const std::vector<std::string> kSlowTv = {"--kind",  "TV",         "--serial",
                                          "7654321", "--block-ms", "100"};

// After a close request while the job runs: the request is refused and the job aborted, the
// result box says "Programming interrupted" while the main window is still there, and OK
// ends the program with status 18.
void ExpectInterruptedAfterCloseRequest(GuiSession& s, const std::string& mainWindow, int from,
                                        std::chrono::milliseconds boxWithin) {
    const int request = s.WaitForLine("close-request", 5s, from);
    ASSERT_GE(request, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(request), "refused, abort requested");
    const int box = s.WaitForLine("message-window", boxWithin, request);
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Programming interrupted");
    EXPECT_EQ(s.WaitForLine("closed", 0ms), -1) << "closed before the box";
    EXPECT_TRUE(s.Xdotool("getwindowname " + mainWindow)) << "the main window still exists";
    EXPECT_FALSE(s.WaitForExit(0ms));

    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 18) << Dump(s);
}

// The result box leaves the main window, and its device fields, in sight.
void ExpectClearOfTheMainWindow(GuiSession& s, const std::string& mainWindow,
                                const std::string& boxWindow) {
    const auto main = s.Geometry(mainWindow);
    const auto box = s.Geometry(boxWindow);
    ASSERT_TRUE(main && box);
    EXPECT_FALSE(box->Overlaps(*main))
        << "box at " << box->x << "," << box->y << " " << box->width << "x" << box->height
        << "; main window at " << main->x << "," << main->y << " " << main->width << "x"
        << main->height;
}

TEST(GuiRun, ProgramsTheDeviceAndExitsZero) {
    GuiSession s("full-run");
    const std::string pty = s.StartDevice({"--kind", "TV", "--serial", "7654321"});
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);

    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const std::string mainWindow = s.TextOf(window);
    EXPECT_EQ(s.TextOf(s.WaitForLine("caption", 1s)), "Norvane");
    EXPECT_EQ(s.TextOf(s.WaitForLine("group status", 1s)), "Status");
    EXPECT_EQ(s.TextOf(s.WaitForLine("group serial", 1s)), "Serial number");
    EXPECT_EQ(s.TextOf(s.WaitForLine("menu", 1s)), "_About Norvane...");

    const int version = s.WaitForLine("label version", 10s);
    EXPECT_EQ(s.TextOf(version), "TV    1.04") << Dump(s);
    const int device = s.WaitForLine("label device", 20s);
    ASSERT_GE(device, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(device), "Tarvik");
    EXPECT_EQ(s.TextOf(s.WaitForLine("label serial", 1s)), "7654321 ") << Dump(s);
    s.Screenshot(mainWindow, "main-window");

    // The demo image takes about 54 s on the wire at 9600 baud.
    const int box = s.WaitForLine("message-window", 120s, device);
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message-icon", 2s, box)), "dialog-information");
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Device correctly programmed");
    EXPECT_EQ(s.WaitForLine("closed", 0ms), -1) << "the window stays while the box is up";
    ExpectClearOfTheMainWindow(s, mainWindow, s.TextOf(box));
    EXPECT_GT(s.CountLines("progress"), 10);
    s.Screenshot(s.TextOf(box), "result-box");
    s.Screenshot("root", "result-box-over-main-window");

    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 0) << Dump(s);
    EXPECT_GT(s.WaitForLine("closed", 0ms), s.WaitForLine("message-closed", 0ms));
    EXPECT_NE(s.ProgramStderr().find("norvane: Device correctly programmed\n"), std::string::npos)
        << Dump(s);
}

TEST(GuiClose, EscapeDuringTheSearchInterruptsAndEnterDoesNothing) {
    GuiSession s("escape-search");
    s.StartProgram("");  // no port at all: the search runs its full time unless stopped
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const std::string mainWindow = s.TextOf(window);
    ASSERT_GE(s.WaitForLine("label status", 10s), 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("label status", 0ms)), "Searching device...");

    ASSERT_TRUE(s.SendKeys(mainWindow, "Return KP_Enter"));
    // The window traces a key once it has dealt with it: whatever Enter caused is in the
    // trace before that line.
    const int entered = s.WaitForLine("key KP_Enter", 5s);
    ASSERT_GE(entered, 0) << Dump(s);
    EXPECT_GE(s.WaitForLine("progress", 5s, entered + 1), 0) << "the search goes on after Enter";
    EXPECT_EQ(s.WaitForLine("close-request", 0ms), -1) << Dump(s);
    EXPECT_EQ(s.WaitForLine("message-window", 0ms), -1) << Dump(s);

    ASSERT_TRUE(s.SendKeys(mainWindow, "Escape"));
    ExpectInterruptedAfterCloseRequest(s, mainWindow, 0, 5s);
}

TEST(GuiClose, CloseRequestDuringProgrammingInterrupts) {
    GuiSession s("close-programming");
    const std::string pty = s.StartDevice(kSlowTv);
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const std::string mainWindow = s.TextOf(window);

    // Wait for the block phase: the status names a block.
    int programming = -1;
    for (int from = 0; programming < 0;) {
        const int line = s.WaitForLine("label status", 30s, from);
        ASSERT_GE(line, 0) << Dump(s);
        if (s.TextOf(line).rfind("Programming flash memory", 0) == 0) {
            programming = line;
        }
        from = line + 1;
    }
    ASSERT_TRUE(s.RequestClose(mainWindow));
    ExpectInterruptedAfterCloseRequest(s, mainWindow, programming, 10s);
}

TEST(GuiAbout, HelpAndTheWindowMenuOpenTheAboutBoxWhileTheJobGoesOn) {
    GuiSession s("about-box");
    const std::string pty = s.StartDevice(kSlowTv);
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const std::string mainWindow = s.TextOf(window);
    const int device = s.WaitForLine("label device", 20s);
    ASSERT_GE(device, 0) << Dump(s);
    const int programming = s.WaitForLine("label status Programming", 20s, device);
    ASSERT_GE(programming, 0) << Dump(s);
    // Drawn with the programming's text before the picture is taken.
    ASSERT_GE(s.WaitForLine("width status", 20s, programming), 0) << Dump(s);
    s.Screenshot(mainWindow, "main-window-programming");

    ASSERT_TRUE(s.SendKeys(mainWindow, "F1"));
    const int about = s.WaitForLine("about-window", 5s, device);
    ASSERT_GE(about, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("about caption", 1s, about)), "About Norvane by Halvio");
    EXPECT_EQ(s.TextOf(s.WaitForLine("about version", 1s, about)),
              std::string("Norvane Version ") + NORVANE_TEST_PROJECT_VERSION);
    EXPECT_EQ(s.TextOf(s.WaitForLine("about build", 1s, about)).rfind("Build ", 0), 0u);
    EXPECT_NE(s.TextOf(s.WaitForLine("about copyright", 1s, about)), "");
    s.Screenshot(s.TextOf(about), "about-box");

    // The job goes on behind the box.
    const int progressed = s.WaitForLine("progress", 5s, about + 1);
    EXPECT_GE(progressed, 0) << Dump(s);
    EXPECT_EQ(s.WaitForLine("message-window", 0ms), -1);

    ASSERT_TRUE(s.SendKeys(s.TextOf(about), "Return"));  // OK
    const int closedAbout = s.WaitForLine("about-closed", 5s, about);
    ASSERT_GE(closedAbout, 0) << Dump(s);

    // The window menu (Shift+F10, like a right click) carries the same item.
    ASSERT_TRUE(s.SendKeys(mainWindow, "shift+F10"));
    ASSERT_GE(s.WaitForLine("menu-shown", 5s, closedAbout), 0) << Dump(s);
    ASSERT_TRUE(s.Xdotool("key --clearmodifiers Return"));
    const int again = s.WaitForLine("about-window", 5s, closedAbout);
    ASSERT_GE(again, 0) << Dump(s);
    ASSERT_TRUE(s.SendKeys(s.TextOf(again), "Escape"));
    const int closedAgain = s.WaitForLine("about-closed", 5s, again);
    ASSERT_GE(closedAgain, 0) << Dump(s);
    // Enter, which does nothing, to the main window: an Esc that had reached the main window
    // as well would have left its close request in the trace before Enter's key line.
    ASSERT_TRUE(s.SendKeys(mainWindow, "Return"));
    ASSERT_GE(s.WaitForLine("key Return", 5s, closedAgain), 0) << Dump(s);
    EXPECT_EQ(s.WaitForLine("close-request", 0ms), -1) << "Esc in the about box closes it only";

    ASSERT_TRUE(s.SendKeys(mainWindow, "Escape"));
    const int box = s.WaitForLine("message-window", 10s);
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Programming interrupted");
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 18);
}

TEST(GuiAbout, TheResultClosesAnOpenAboutBox) {
    GuiSession s("about-at-the-end");
    // A result some 3 s into the programming, instead of the whole image's 54 s on the wire.
    const std::string pty = s.StartDevice({"--kind", "TV", "--serial", "7654321", "--error-at",
                                           "region0:2560", "--error-code", "0x5A21"});
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const int device = s.WaitForLine("label device", 20s);
    ASSERT_GE(device, 0) << Dump(s);
    ASSERT_TRUE(s.SendKeys(s.TextOf(window), "F1"));
    const int about = s.WaitForLine("about-window", 5s, device);
    ASSERT_GE(about, 0) << Dump(s);
    ASSERT_EQ(s.WaitForLine("message-window", 0ms), -1) << "the job ended too early";

    // Left open, the about box must not keep the result or the program's end waiting.
    const int box = s.WaitForLine("message-window", 60s, about);
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Device error - code 5a21 returned");
    EXPECT_FALSE(s.Xdotool("search --onlyvisible --name '^About Norvane by Halvio$'"))
        << "the about box is gone";
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 15);
    EXPECT_GE(s.WaitForLine("about-closed", 0ms), 0);
}

// Run by an ordinary user whose only port is a terminal only root may open: no device, and the
// second text says why and what to do.
TEST(GuiRun, NoDeviceOnAnyPortAfterTheFullSearch) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as an ordinary user";
    }
    GuiSession s("no-device");
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
                ptsname_r(master, name, sizeof name) == 0);
    ASSERT_EQ(chmod(name, 0600), 0);
    const std::string denied = std::string("COM1 (") + name +
                               "): permission denied. Add your user to the dialout group (sudo "
                               "usermod -aG dialout $USER), log in again, and check with: id -nG";
    s.StartProgramAsNobody(name);
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const auto start = Clock::now();
    const int box = s.WaitForLine("message-window", 60s);
    const auto searched = Clock::now() - start;
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_GE(searched, 29s) << "the search takes its full 300 ticks of 100 ms";
    EXPECT_EQ(s.TextOf(s.WaitForLine("message-icon", 2s, box)), "dialog-error");
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "No device detected on any serial port");
    EXPECT_EQ(s.TextOf(s.WaitForLine("message-detail", 2s, box)), denied);
    s.Screenshot("root", "result-box-error");
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 13);
    // The trace is complete once the program has ended.
    EXPECT_EQ(s.WaitForLine("close-request", 0ms), -1) << Dump(s);
    EXPECT_NE(s.ProgramStderr().find("norvane: No device detected on any serial port\n"
                                     "norvane: " +
                                     denied + "\n"),
              std::string::npos)
        << Dump(s);
    close(master);
}

// --help and --version answer and a stray argument is refused, all without a display (the
// window, and the job that opens the ports, come after it).
TEST(GuiStart, CommandLineIsAnsweredOrRefusedBeforeAnyWindowOrPort) {
    const std::string folder = std::string(NORVANE_GUI_WORK_DIR) + "/command-line";
    std::filesystem::create_directories(folder);
    const std::string trace = folder + "/trace.txt";
    struct Case {
        const char* argument;
        int status;
    };
    for (const Case& c : {Case{"--help", 0}, Case{"--version", 0}, Case{"--verison", 64},
                          Case{"/dev/ttyUSB0", 64}}) {
        SCOPED_TRACE(c.argument);
        std::filesystem::remove(trace);
        std::map<std::string, std::string> env{{"NORVANE_UI_TRACE", trace}, {"NO_AT_BRIDGE", "1"}};
        for (int n = 1; n <= 8; ++n) {
            env["NORVANE_COM" + std::to_string(n)] = "";  // should a fault reach the job
        }
        ChildProcess program =
            StartChild({NORVANE_APP_PATH, c.argument}, env, folder + "/out", folder + "/err");
        const auto status = program.Wait(20s);
        ASSERT_TRUE(status);
        EXPECT_EQ(*status, c.status);
        EXPECT_FALSE(std::filesystem::exists(trace)) << "no window was made";
        const std::string out = ReadFile(folder + "/out");
        const std::string err = ReadFile(folder + "/err");
        if (c.status == 0) {
            EXPECT_EQ(err, "");
            EXPECT_NE(out.find(c.argument == std::string("--help")
                                   ? "--version"
                                   : "Norvane Version " NORVANE_TEST_PROJECT_VERSION "\nBuild "),
                      std::string::npos)
                << out;
        } else {
            EXPECT_EQ(out, "");
            EXPECT_EQ(err, std::string("norvane: unknown argument \"") + c.argument +
                               "\". Try --help.\n");
        }
    }
}

TEST(GuiStart, WithoutADisplayTheProgramSaysSoAndFails) {
    const std::string folder = std::string(NORVANE_GUI_WORK_DIR) + "/no-display";
    std::filesystem::create_directories(folder);
    ChildProcess program = StartChild(
        {NORVANE_APP_PATH}, {{"NORVANE_UI_TRACE", folder + "/trace.txt"}, {"NO_AT_BRIDGE", "1"}},
        folder + "/out", folder + "/err");
    const auto status = program.Wait(20s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 3);
    const std::string err = ReadFile(folder + "/err");
    EXPECT_EQ(err.rfind("norvane: cannot open the display", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
}  // namespace norvane::test
