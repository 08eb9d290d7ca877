// The main window's behaviour, apart from any toolkit: it starts the programming job on a
// thread of its own, takes the job's events from its mailbox on the user-interface thread,
// turns close requests into abort requests while the job runs, shows the result and decides
// the program's exit status. The windows on screen (app/gtk/, app/win32/) are DialogViews that
// forward their events here and draw what they are told.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/AboutBox.h"
#include "app/JobMailbox.h"
#include "app/JobThread.h"
#include "app/SystemJob.h"
#include "engine/JobEvents.h"
#include "engine/Results.h"
#include "serial/PortList.h"

namespace norvane {

class MultiStrings;

// The progress bar's state, kept like the common progress control: a range 0..upper and a
// position held inside it.
struct ProgressState {
    int32_t upper = 100;
    int32_t position = 0;

    void SetRange(int32_t newUpper);
    void SetPosition(int32_t newPosition);
    // Filled part of the bar, 0 to 1; an empty range (0..0) shows an empty bar.
    double Fraction() const;
};

// What the result box shows.
struct ResultBox {
    std::string message;   // the result's message from the string table
    std::string detail;    // the second, smaller text (why, what to do); often empty
    bool success = false;  // an information box; otherwise an error box
};

// The window's four labels.
enum DialogLabel : uint32_t {
    TextStatus = 0,
    TextProgramVersion = 1,
    TextDevice = 2,
    TextSerial = 3,
};

// What the logic asks of the window on screen. Every call comes on the user-interface thread.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void SetLabel(uint32_t target, const std::string& text) = 0;
    virtual void SetProgress(const ProgressState& progress) = 0;
    // Modal OK box, placed clear of the main window's fields (PlaceResultBox); returns when
    // the user has dismissed it.
    virtual void ShowResultBox(const ResultBox& box) = 0;
    // Modal about box; returns when the user has closed it. The job goes on meanwhile.
    virtual void ShowAboutBox(const AboutLines& lines) = 0;
    // Ends the window; the program exits once the toolkit's loop has returned.
    virtual void CloseWindow() = 0;
};

// The keys the window treats itself; everything else takes the toolkit's default path.
enum class DialogKey { Escape, Enter, Help, AltF4, Other };

// The texts the window is labelled with.
struct DialogTexts {
    std::string caption;
    std::string statusGroup;
    std::string versionGroup;
    std::string deviceGroup;
    std::string serialGroup;
    std::string aboutItem;  // window-menu item, with '&' before its mnemonic
};
DialogTexts DialogTextsFrom(const MultiStrings& strings);

// The labels are one line high, so they show a text up to its first line break: the device's
// serial number arrives with the record's line feed.
std::string OneLineOf(std::string_view text);

// Exit status of the program for a final result: 0 after a successful programming, the
// string id of the message shown otherwise, 1 for a result that shows no message.
int ExitStatusOf(FlashResult result);

class ProgrammerDlg final {
public:
    // The result's message and each line of its second text also go to `report` (only there
    // after a signal): a script that started the program learns why without the screen.
    ProgrammerDlg(DialogView& view, const MultiStrings& strings, AboutLines about,
                  std::ostream& report = std::cerr);
    ~ProgrammerDlg();  // stops and joins a job still running
    ProgrammerDlg(const ProgrammerDlg&) = delete;
    ProgrammerDlg& operator=(const ProgrammerDlg&) = delete;

    // Called by the job's thread after each event it posts, to wake the user-interface thread
    // (a Glib::Dispatcher in the GTK window). Set before Start.
    void SetWake(std::function<void()> wake) { mailbox_.SetWake(std::move(wake)); }
    // The ports the job searches (COM1..COM8 unless the command line names others). Set
    // before Start.
    void SetPorts(PortList ports) { ports_ = std::move(ports); }

    // Starts the job on its thread.
    void Start(JobRunner runner = ProgrammerThreadProc);

    // User-interface side: applies every event the job has posted, oldest first.
    void DispatchPending();

    // A close request (close button, Alt+F4, Esc, the window manager's delete request).
    // True when the window may close now; while the job runs it only sets the abort flag.
    bool OnCloseRequest();
    // A key press; true when the key was handled here and must go no further.
    bool OnKey(DialogKey key);
    // The window-menu item and F1; one about box at a time (F1 in the about box asks again).
    void OnAbout();
    // SIGINT, SIGTERM or SIGHUP: stops the job as Esc does; the result then goes to stderr
    // only, and the window closes without waiting for OK (the view closes an open box).
    void OnSignal();
    bool Signalled() const { return signalled_; }

    bool JobRunning() const { return phase_ == Phase::Running; }
    int AbortFlag() const { return job_.AbortFlag(); }
    std::optional<FlashResult> Result() const { return result_; }
    // The program's exit status once the window has ended; 1 when no result arrived.
    int ExitStatus() const;

    // Waits for the job's thread to end; safe to call more than once.
    void JoinWorker() { job_.Join(); }

private:
    enum class Phase { Idle, Running, Reporting, Closed };

    void Apply(const JobEvent& event);
    void OnDone(const JobEvent::Done& done);
    void Report(const ResultBox& box);

    DialogView& view_;
    const MultiStrings& strings_;
    AboutLines about_;
    std::ostream& report_;

    bool signalled_ = false;
    Phase phase_ = Phase::Idle;
    std::optional<FlashResult> result_;
    bool aboutOpen_ = false;
    ProgressState progress_;
    PortList ports_ = StandardPorts();

    // Declared last: the job is stopped and joined first, while the mailbox it posts to is
    // still there.
    JobMailbox mailbox_;
    JobThread job_{0, mailbox_};
};

}  // namespace norvane
