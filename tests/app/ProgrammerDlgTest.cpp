// The main window's logic with a recording view and scripted jobs: event routing on the
// user-interface side, close rules while the job runs, the result box and the exit status.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgrammerDlg.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

class RecordingView final : public DialogView {
public:
    void SetLabel(uint32_t target, const std::string& text) override {
        events.push_back("label " + std::to_string(target) + " " + text);
    }
    void SetProgress(const ProgressState& p) override {
        events.push_back("progress " + std::to_string(p.position) + "/" + std::to_string(p.upper));
        lastFraction = p.Fraction();
    }
    void ShowResultBox(const ResultBox& box) override {
        events.push_back((box.success ? "info-box " : "error-box ") + box.message +
                         (box.detail.empty() ? "" : " | " + box.detail));
        if (duringBox) {
            duringBox();
        }
    }
    void ShowAboutBox(const AboutLines& lines) override {
        events.push_back("about " + lines.version);
        if (duringAbout) {
            duringAbout();
        }
    }
    void CloseWindow() override { events.push_back("close"); }

    std::vector<std::string> events;
    double lastFraction = -1;
    std::function<void()> duringBox;
    std::function<void()> duringAbout;
};

const MultiStrings& Strings() {
    static const bool loaded = TheStrings().Load(StringTableResource());
    EXPECT_TRUE(loaded);
    return TheStrings();
}

using EventKind = decltype(JobEvent::what);

// A job that posts the given events, then the result with `detail`.
JobRunner PostingJob(std::vector<EventKind> events, FlashResult result, std::string detail = {}) {
    return [events, result, detail](const JobContext& context) {
        for (const auto& what : events) {
            context.events.Post({context.job, what});
        }
        context.events.Post({context.job, JobEvent::Done{result, detail}});
        return result;
    };
}

// A job that waits for the abort flag, as the device search does, then reports the abort.
JobRunner WaitingJob(std::atomic<bool>* waiting) {
    return [waiting](const JobContext& context) {
        context.events.Post({context.job, JobEvent::Phase{"Searching device...", 300, 0}});
        *waiting = true;
        while (context.abortFlag == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const FlashResult result = MakeResult(RC_INTERRUPTED);
        context.events.Post({context.job, JobEvent::Done{result, {}}});
        return result;
    };
}

JobEvent::Found Tarvik(std::string serial) {
    JobEvent::Found found;
    found.port = 1;
    found.kind = IMAGE_TV;
    found.kindCode = "TV";
    found.displayName = "Tarvik";
    found.serial = std::move(serial);
    return found;
}

// Runs the user-interface side until the window closes, like the toolkit's loop would.
void RunUntilClosed(ProgrammerDlg& dlg, RecordingView& view) {
    for (int i = 0; i < 5000; ++i) {
        dlg.DispatchPending();
        if (!view.events.empty() && view.events.back() == "close") {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "the window never closed";
}

void WaitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 5000 && !flag; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(flag);
}

TEST(ProgrammerDlgRouting, EventsWaitForTheInterfaceThreadAndKeepTheirOrder) {
    RecordingView view;
    ProgrammerDlg dlg(view, Strings(), {});
    std::atomic<int> wakes{0};
    dlg.SetWake([&] { ++wakes; });
    dlg.Start(PostingJob({JobEvent::Version{"TV    1.04"},
                          JobEvent::Phase{"Searching device...", 300, 0}, JobEvent::Progress{7},
                          JobEvent::Phase{"Device detected on COM1", 0, 0}, Tarvik("1234567 \n")},
                         MakeResult(RC_SUCCESS)));
    dlg.JoinWorker();
    EXPECT_EQ(wakes, 6);
    EXPECT_TRUE(view.events.empty()) << "nothing is applied on the job's thread";

    dlg.DispatchPending();
    const std::vector<std::string> expected = {"label 1 TV    1.04",
                                               "label 0 Searching device...",
                                               "progress 0/300",
                                               "progress 7/300",
                                               "label 0 Device detected on COM1",
                                               "progress 0/0",
                                               "label 3 1234567 ",
                                               "label 2 Tarvik",
                                               "info-box Device correctly programmed",
                                               "close"};
    EXPECT_EQ(view.events, expected);
    EXPECT_EQ(dlg.ExitStatus(), 0);
    EXPECT_EQ(dlg.AbortFlag(), 0);
}

TEST(ProgrammerDlgRouting, EmptyRangeIsAcceptedAndPositionsStayInsideTheRange) {
    RecordingView view;
    ProgrammerDlg dlg(view, Strings(), {});
    JobEvent::Found unknown;
    unknown.displayName = "Unknown device";
    unknown.serial = "never shown";
    dlg.Start(PostingJob(
        {JobEvent::Phase{"a", 300, 150}, JobEvent::Phase{"b", 0, 5}, JobEvent::Progress{5},
         JobEvent::Phase{"c", 400, 500}, JobEvent::Progress{-3}, unknown},
        MakeResult(RC_SUCCESS)));
    dlg.JoinWorker();
    view.duringBox = [&] { EXPECT_DOUBLE_EQ(view.lastFraction, 0.0); };
    dlg.DispatchPending();
    const std::vector<std::string> expected = {"label 0 a",
                                               "progress 150/300",
                                               "label 0 b",
                                               "progress 0/0",
                                               "progress 0/0",
                                               "label 0 c",
                                               "progress 400/400",
                                               "progress 0/400",
                                               "label 2 Unknown device",
                                               "info-box Device correctly programmed",
                                               "close"};
    EXPECT_EQ(view.events, expected) << "a device of no known kind shows no serial number";
}

TEST(ProgrammerDlgRouting, LabelsShowTheFirstLineOnly) {
    EXPECT_EQ(OneLineOf("1234567 \n"), "1234567 ");
    EXPECT_EQ(OneLineOf("a\r\nb"), "a");
    EXPECT_EQ(OneLineOf("\nb"), "");
    EXPECT_EQ(OneLineOf("Tarvik"), "Tarvik");
}

TEST(ProgrammerDlgRouting, ProgressFraction) {
    ProgressState p;
    p.SetRange(0);
    EXPECT_DOUBLE_EQ(p.Fraction(), 0.0);
    p.SetRange(200);
    p.SetPosition(50);
    EXPECT_DOUBLE_EQ(p.Fraction(), 0.25);
    p.SetRange(25);  // shrinking the range pulls the position in
    EXPECT_EQ(p.position, 25);
    EXPECT_DOUBLE_EQ(p.Fraction(), 1.0);
}

TEST(ProgrammerDlgResult, EveryResultGivesItsTextAndExitStatus) {
    struct Case {
        FlashResult result;
        const char* box;  // nullptr: no box
        int status;
    };
    const Case cases[] = {
        {MakeResult(RC_SUCCESS), "Device correctly programmed", 0},
        {MakeResult(RC_DEVICE_UNKNOWN), "Unknown device", 11},
        {MakeResult(RC_NO_DEVICE), "No device detected on any serial port", 13},
        {MakeResult(RC_WRONG_DEVICE), "Wrong device detected on serial port", 14},
        {MakeResult(RC_DEVICE_ERROR, 0x4242), "Device error - code 4242 returned", 15},
        {MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT), "Device error - code ffff returned", 15},
        {MakeResult(RC_DEVICE_ERROR, 0), "Device error - code 0000 returned", 15},
        {MakeResult(RC_ERASE_FAILED), "Device error, unable to erase flash memory", 16},
        {MakeResult(RC_INVALID_IMAGE), "Invalid program file", 17},
        {MakeResult(RC_INTERRUPTED), "Programming interrupted", 18},
        {MakeResult(RC_INVALID_REPLY, 4), "Invalid reply received from device", 19},
        {MakeResult(RC_FOUND_OS), nullptr, 1},
        {MakeResult(RC_SEARCHING), nullptr, 1},
        {0x0104, nullptr, 1},
        {MakeResult(0x7777, 3), nullptr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        RecordingView view;
        std::ostringstream report;
        ProgrammerDlg dlg(view, Strings(), {}, report);
        dlg.Start(PostingJob({}, c.result));
        RunUntilClosed(dlg, view);
        std::vector<std::string> expected;
        if (c.box != nullptr) {
            expected.push_back((c.status == 0 ? "info-box " : "error-box ") + std::string(c.box));
        }
        expected.push_back("close");
        EXPECT_EQ(view.events, expected);
        EXPECT_EQ(report.str(), c.box != nullptr ? "norvane: " + std::string(c.box) + "\n" : "");
        EXPECT_EQ(dlg.ExitStatus(), c.status);
        EXPECT_EQ(ExitStatusOf(c.result), c.status);
        ASSERT_TRUE(dlg.Result());
        EXPECT_EQ(*dlg.Result(), c.result);
    }
}

TEST(ProgrammerDlgResult, TheSecondTextGoesUnderTheMessageAndToStandardError) {
    RecordingView view;
    std::ostringstream report;
    ProgrammerDlg dlg(view, Strings(), {}, report);
    const std::string detail =
        "COM1 (/dev/ttyUSB0): permission denied.\nCOM2 (/dev/ttyUSB1) is in use.";
    dlg.Start(PostingJob({}, MakeResult(RC_NO_DEVICE), detail));
    RunUntilClosed(dlg, view);
    const std::vector<std::string> expected = {
        "error-box No device detected on any serial port | " + detail, "close"};
    EXPECT_EQ(view.events, expected) << "the second text is no label";
    EXPECT_EQ(report.str(),
              "norvane: No device detected on any serial port\n"
              "norvane: COM1 (/dev/ttyUSB0): permission denied.\n"
              "norvane: COM2 (/dev/ttyUSB1) is in use.\n");
}

TEST(ProgrammerDlgResult, NoResultMeansStatusOne) {
    RecordingView view;
    ProgrammerDlg dlg(view, Strings(), {});
    EXPECT_EQ(dlg.ExitStatus(), 1);
}

TEST(ProgrammerDlgClose, CloseWhileRunningOnlyAsksTheJobToStop) {
    RecordingView view;
    ProgrammerDlg dlg(view, Strings(), {});
    std::atomic<bool> waiting{false};
    dlg.Start(WaitingJob(&waiting));
    WaitFor(waiting);
    EXPECT_EQ(dlg.AbortFlag(), 0);

    EXPECT_FALSE(dlg.OnCloseRequest());
    EXPECT_EQ(dlg.AbortFlag(), 1);
    EXPECT_TRUE(dlg.JobRunning()) << "the window stays until the job has reported";

    RunUntilClosed(dlg, view);
    const std::vector<std::string> expected = {"label 0 Searching device...", "progress 0/300",
                                               "error-box Programming interrupted", "close"};
    EXPECT_EQ(view.events, expected);
    EXPECT_EQ(dlg.ExitStatus(), 18);
    EXPECT_TRUE(dlg.OnCloseRequest()) << "after the job a close request closes";
}

TEST(ProgrammerDlgClose, EscapeAndAltF4AreCloseRequestsEnterDoesNothing) {
    for (const DialogKey key : {DialogKey::Escape, DialogKey::AltF4}) {
        RecordingView view;
        ProgrammerDlg dlg(view, Strings(), {});
        std::atomic<bool> waiting{false};
        dlg.Start(WaitingJob(&waiting));
        WaitFor(waiting);
        dlg.DispatchPending();

        EXPECT_TRUE(dlg.OnKey(DialogKey::Enter));
        EXPECT_TRUE(dlg.OnKey(DialogKey::Enter));
        EXPECT_EQ(dlg.AbortFlag(), 0) << "Enter never stops the job";
        EXPECT_EQ(view.events.size(), 2u);

        EXPECT_FALSE(dlg.OnKey(DialogKey::Other));
        EXPECT_EQ(dlg.AbortFlag(), 0);

        EXPECT_TRUE(dlg.OnKey(key));
        EXPECT_EQ(dlg.AbortFlag(), 1);
        EXPECT_EQ(view.events.size(), 2u) << "no close before the result";
        RunUntilClosed(dlg, view);
        EXPECT_EQ(view.events[2], "error-box Programming interrupted");
        EXPECT_EQ(dlg.ExitStatus(), 18);
    }
}

TEST(ProgrammerDlgClose, ASignalStopsTheJobAndItsResultGoesToStandardErrorOnly) {
    RecordingView view;
    std::ostringstream report;
    ProgrammerDlg dlg(view, Strings(), {}, report);
    std::atomic<bool> waiting{false};
    dlg.Start(WaitingJob(&waiting));
    WaitFor(waiting);
    dlg.OnSignal();
    EXPECT_EQ(dlg.AbortFlag(), 1);
    RunUntilClosed(dlg, view);
    const std::vector<std::string> expected = {"label 0 Searching device...", "progress 0/300",
                                               "close"};
    EXPECT_EQ(view.events, expected) << "nobody is at the window to press OK";
    EXPECT_EQ(report.str(), "norvane: Programming interrupted\n");
    EXPECT_EQ(dlg.ExitStatus(), 18);
}

TEST(ProgrammerDlgClose, CloseRequestWhileTheResultBoxIsUpChangesNothing) {
    RecordingView view;
    ProgrammerDlg dlg(view, Strings(), {});
    bool mayClose = true;
    view.duringBox = [&] {
        mayClose = dlg.OnCloseRequest();
        dlg.OnKey(DialogKey::Escape);
        dlg.OnAbout();
    };
    dlg.Start(PostingJob({}, MakeResult(RC_NO_DEVICE)));
    RunUntilClosed(dlg, view);
    EXPECT_FALSE(mayClose);
    EXPECT_EQ(dlg.AbortFlag(), 0);
    const std::vector<std::string> expected = {"error-box No device detected on any serial port",
                                               "close"};
    EXPECT_EQ(view.events, expected);
    EXPECT_EQ(dlg.ExitStatus(), 13);
}

TEST(ProgrammerDlgAbout, HelpOpensTheAboutBoxWhileTheJobGoesOn) {
    RecordingView view;
    AboutLines about;
    about.version = "Norvane Version 2.1.0";
    ProgrammerDlg dlg(view, Strings(), about);
    std::atomic<bool> waiting{false};
    std::atomic<bool> posted{false};
    std::atomic<bool> goOn{false};
    dlg.Start([&](const JobContext& context) {
        waiting = true;
        while (!goOn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        context.events.Post({context.job, JobEvent::Phase{"Erasing flash memory...", 10, 0}});
        posted = true;
        while (context.abortFlag == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        context.events.Post({context.job, JobEvent::Done{MakeResult(RC_INTERRUPTED), {}}});
        return MakeResult(RC_INTERRUPTED);
    });
    WaitFor(waiting);
    // The about box runs a nested loop of its own: the job's messages still reach the window.
    view.duringAbout = [&] {
        goOn = true;
        WaitFor(posted);
        dlg.DispatchPending();
        dlg.OnKey(DialogKey::Help);  // F1 again, in the about box: no second box
    };
    EXPECT_TRUE(dlg.OnKey(DialogKey::Help));
    EXPECT_EQ(dlg.AbortFlag(), 0) << "the about box does not stop the job";
    const std::vector<std::string> during = {"about Norvane Version 2.1.0",
                                             "label 0 Erasing flash memory...", "progress 0/10"};
    EXPECT_EQ(view.events, during);
    view.duringAbout = nullptr;
    dlg.OnAbout();  // the window menu's item
    EXPECT_EQ(view.events.back(), "about Norvane Version 2.1.0");

    dlg.OnCloseRequest();
    RunUntilClosed(dlg, view);
    EXPECT_EQ(dlg.ExitStatus(), 18);
}

TEST(ProgrammerDlgLifetime, DestroyingTheWindowStopsAndJoinsTheJob) {
    std::atomic<bool> waiting{false};
    std::atomic<bool> returned{false};
    {
        RecordingView view;
        ProgrammerDlg dlg(view, Strings(), {});
        dlg.Start([&](const JobContext& context) {
            const FlashResult result = WaitingJob(&waiting)(context);
            returned = true;
            return result;
        });
        WaitFor(waiting);
        EXPECT_FALSE(returned);
    }
    EXPECT_TRUE(returned) << "the job was stopped and had returned before the window went";
}

TEST(ProgrammerDlgTexts, WindowTextsComeFromTheStringTable) {
    const DialogTexts texts = DialogTextsFrom(Strings());
    EXPECT_EQ(texts.caption, "Norvane");
    EXPECT_EQ(texts.statusGroup, "Status");
    EXPECT_EQ(texts.versionGroup, "Program version");
    EXPECT_EQ(texts.deviceGroup, "Device");
    EXPECT_EQ(texts.serialGroup, "Serial number");
    EXPECT_EQ(texts.aboutItem, "&About Norvane...");
}

}  // namespace
}  // namespace norvane
