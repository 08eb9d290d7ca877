// The main window's behaviour, apart from any toolkit: it starts the programming job on a
// worker thread, queues what the worker posts and applies it on the user-interface thread,
// turns close requests into abort requests while the job runs, shows the result and decides
// the program's exit status. The windows on screen (app/gtk/, app/win32/) are DialogViews that
// forward their events here and draw what they are told.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/AboutBox.h"
#include "app/SystemJob.h"
#include "engine/Results.h"
#include "platform/NotifyWindow.h"

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

using JobRunner = std::function<FlashResult(JobStart*)>;

class ProgrammerDlg final : public NotifyWindow {
public:
    // The result's message and each line of its second text also go to `report` (only there
    // after a signal): a script that started the program learns why without the screen.
    ProgrammerDlg(DialogView& view, const MultiStrings& strings, AboutLines about,
                  std::ostream& report = std::cerr);
    ~ProgrammerDlg() override;  // joins the worker
    ProgrammerDlg(const ProgrammerDlg&) = delete;
    ProgrammerDlg& operator=(const ProgrammerDlg&) = delete;

    // Called by the worker after each queued message, to wake the user-interface thread
    // (a Glib::Dispatcher in the GTK window). Set before Start.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }

    // Clears the abort flag and starts the job on its worker thread.
    void Start(JobRunner runner = ProgrammerThreadProc);

    // Worker side: queues the message and wakes the user-interface thread.
    void Post(ProgMessage message) override;

    // User-interface side: applies every queued message, oldest first.
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
    int AbortFlag() const { return abortFlag_.load(); }
    std::optional<FlashResult> Result() const { return result_; }
    // The program's exit status once the window has ended; 1 when no result arrived.
    int ExitStatus() const;

    // Waits for the worker thread to end; safe to call more than once.
    void JoinWorker();

private:
    enum class Phase { Idle, Running, Reporting, Closed };

    void Apply(const ProgMessage& message);
    void OnDone(FlashResult result);
    void Report(const ResultBox& box);

    DialogView& view_;
    const MultiStrings& strings_;
    AboutLines about_;
    std::ostream& report_;
    std::function<void()> wake_;

    std::atomic<int> abortFlag_{0};
    bool signalled_ = false;
    std::thread worker_;
    Phase phase_ = Phase::Idle;
    std::optional<FlashResult> result_;
    std::string resultDetail_;  // TextResultDetail, posted just before the result
    bool aboutOpen_ = false;
    ProgressState progress_;

    std::mutex queueMutex_;
    std::deque<ProgMessage> queue_;
};

}  // namespace norvane
