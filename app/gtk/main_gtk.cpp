// norvane: finds the device on a serial port and writes the embedded firmware image into it.
// The exit status tells scripts the outcome (README, "Exit status").
#include <gtk/gtk.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <span>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/PortArguments.h"
#include "app/SignalAbort.h"
#include "app/Startup.h"
#include "app/UiTrace.h"
#include "app/gtk/DisplayLoss_gtk.h"
#include "app/gtk/ProgrammerWindow_gtk.h"
#include "strings/MultiStrings.h"

int main(int argc, char** argv) {
    using namespace norvane;

    // Everything the window shows comes from the string table: without it, stop before the
    // window opens and before any port is touched.
    if (const auto error = LoadStringTable(StringTableResource(), TheStrings())) {
        std::cerr << "norvane: " << *error << '\n';
        return kExitBadStrings;
    }
    const AboutLines about = AboutLinesFrom(VersionInfo::OfProgram(), TheStrings());
    const auto arguments = std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0);
    const CommandLine command = ParseCommandLine(arguments);
    const PortChoice ports = PortsFromArguments(command.ports);
    auto reply = ReplyTo(command, TheStrings(), about);
    if (!reply) {
        reply = RefusalOf(ports, TheStrings(), kWindowProgram);
    }
    if (reply) {
        (reply->toStandardError ? std::cerr : std::cout) << reply->text << std::flush;
        return reply->exitStatus;
    }
    if (!gtk_init_check(&argc, &argv)) {
        const char* display = std::getenv("DISPLAY");
        std::cerr << "norvane: cannot open the display"
                  << (display != nullptr ? std::string(" '") + display + "'" : std::string())
                  << '\n';
        return kExitNoDisplay;
    }

    auto application = Gtk::Application::create("com.halvio.Norvane", Gio::APPLICATION_NON_UNIQUE);
    UiTrace trace = UiTrace::FromEnvironment();
    gtk::ProgrammerWindow window(TheStrings(), about, trace);
    // A stop signal reaches the window through its own loop; the dispatcher outlives main,
    // since the signal's watcher thread may still call it while the program ends.
    static std::atomic<int> stopSignal{0};
    static Glib::Dispatcher* const stopRequested = new Glib::Dispatcher;
    stopRequested->connect([&window] { window.OnSignal(stopSignal.load()); });
    InstallSignalAbort([](int signal) {
        stopSignal = signal;
        stopRequested->emit();
    });
    window.SetPorts(ports.ports);
    // A lost display stops the job as SIGHUP does; the window is gone with it, so the program
    // ends right there, past the toolkit's loop.
    gtk::OnDisplayLost([&window, &trace] {
        window.OnDisplayLost();
        const int status = window.Finish();
        trace.Line("exit", std::to_string(status));
        std::cout.flush();
        std::cerr.flush();
        _exit(status);
    });
    window.StartJob();
    application->run(window);
    const int status = window.Finish();
    trace.Line("exit", std::to_string(status));
    return status;
}
