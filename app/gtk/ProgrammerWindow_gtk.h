// The main window (template 102) on GTK: draws what ProgrammerDlg tells it and forwards
// close requests, keys and the window menu to it. The worker's messages reach the
// user-interface thread through a Glib::Dispatcher.
#pragma once

#include <gtkmm.h>

#include <array>
#include <memory>

#include "app/ProgrammerDlg.h"
#include "app/UiTrace.h"
#include "app/gtk/AboutBox_gtk.h"

namespace norvane::gtk {

class ProgrammerWindow final : public Gtk::Window, public DialogView {
public:
    ProgrammerWindow(const MultiStrings& strings, AboutLines about, UiTrace& trace);
    ~ProgrammerWindow() override;

    // The ports the job searches (COM1..COM8 unless the command line names others).
    void SetPorts(PortList ports) { dialog_.SetPorts(std::move(ports)); }
    // Starts the programming job; its messages are applied once the main loop runs.
    void StartJob(JobRunner runner = ProgrammerThreadProc);
    // After the main loop: waits for the job's thread and gives the exit status.
    int Finish();
    // A stop signal (see SignalAbort.h), on the user-interface thread: the job stops as for
    // Esc and the window closes without waiting for OK; an open result box is closed.
    void OnSignal(int signal);
    // The display is gone (DisplayLoss_gtk.h): stops the job as a stop signal does and waits
    // for its end, drawing nothing more; Finish then gives the exit status.
    void OnDisplayLost();

    // DialogView
    void SetLabel(uint32_t target, const std::string& text) override;
    void SetProgress(const ProgressState& progress) override;
    void ShowResultBox(const ResultBox& result) override;
    void ShowAboutBox(const AboutLines& lines) override;
    void CloseWindow() override;

protected:
    bool on_delete_event(GdkEventAny* event) override;
    bool on_key_press_event(GdkEventKey* event) override;
    bool on_button_press_event(GdkEventButton* event) override;

private:
    void OnMap();
    // After each drawing: traces how wide each label was laid out against its text (every one
    // the first time, then those whose text changed).
    void OnDrawn();
    bool HandleKey(GdkEventKey* event);
    void PopupWindowMenu(const GdkEvent* event);
    // Moves the box clear of this window before it is shown.
    void PlaceClear(Gtk::Window& box);

    UiTrace& trace_;
    const DialogTexts texts_;

    Gtk::Grid grid_;
    Gtk::Box statusBox_;
    Gtk::Frame statusGroup_, versionGroup_, deviceGroup_, serialGroup_;
    Gtk::Frame statusFrame_, versionFrame_, deviceFrame_, serialFrame_;
    Gtk::Label statusText_, versionText_, deviceText_, serialText_;
    Gtk::ProgressBar progress_;
    Gtk::Menu windowMenu_;
    Gtk::MenuItem aboutItem_;

    AboutBox* openAbout_ = nullptr;
    Gtk::MessageDialog* openResult_ = nullptr;
    bool closed_ = false;
    bool drawn_ = false;
    std::array<bool, 4> widthPending_{};  // by label target: text set, not yet traced
    bool displayLost_ = false;  // nothing may be drawn: every call to the server would fail

    // Declared last: destroyed first, so the worker is joined while the dispatcher it wakes
    // still exists.
    Glib::Dispatcher dispatcher_;
    ProgrammerDlg dialog_;
};

}  // namespace norvane::gtk
