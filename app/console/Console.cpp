#include "app/console/Console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/JobMailbox.h"
#include "app/JobThread.h"
#include "app/SignalAbort.h"
#include "app/Startup.h"
#include "app/console/ConsoleReport.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// The terminal's width in columns; 0 when it does not say.
int TerminalColumns() {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// The run's exit status once its report is out: a report that was lost, on any of the outputs,
// turns it into kExitReportLost, said on standard error (which may be lost too) with the
// outcome it would have told.
int StatusAfterReport(int status, const std::string& message, const ReportStream& out,
                      ReportStream& err, const MultiStrings& strings) {
    const ReportStream* lost = out.Lost() ? &out : err.Lost() ? &err : nullptr;
    if (lost == nullptr) {
        return status;
    }
    err.Write(FormatText(strings.Text(IDS_REPORT_LOST),
                         {kConsoleProgram.name, lost->LostReason(), message}) +
              "\n");
    return kExitReportLost;
}

}  // namespace

int RunConsole(const std::vector<std::string>& args, JobEnvironment environment) {
    // Every text comes from the string table: without it, stop before any port is touched.
    MultiStrings& strings = TheStrings();
    if (const auto error = LoadStringTable(StringTableResource(), strings)) {
        std::fprintf(stderr, "%s: %s\n", kConsoleProgram.name, error->c_str());
        return kExitBadStrings;
    }
    // --json is the console's own; everything else follows the window program's rules.
    bool json = false;
    std::vector<const char*> others;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else {
            others.push_back(arg.c_str());
        }
    }
    const AboutLines about = AboutLinesFrom(VersionInfo::OfProgram(), strings);
    if (const auto reply = ReplyTo(ParseCommandLine(others), strings, about, kConsoleProgram)) {
        std::fputs(reply->text.c_str(), reply->toStandardError ? stderr : stdout);
        return reply->exitStatus;
    }

    const ReportStyle style = json                         ? ReportStyle::Json
                              : isatty(STDOUT_FILENO) != 0 ? ReportStyle::Terminal
                                                           : ReportStyle::Lines;
    // A reader that goes away (a script's pipe closed early) must not end the program in the
    // middle of a run, with the device half-written and its port not put back: the job goes
    // on to its end, and the exit status says that its report was lost.
    signal(SIGPIPE, SIG_IGN);
    ReportStream out(stdout);
    ReportStream err(stderr);
    ConsoleReport report(style, strings, out, err,
                         style == ReportStyle::Terminal ? TerminalColumns() : 0);
    JobMailbox mailbox;
    JobThread job(0, mailbox);
    // A signal is the user's abort: the job stops as after Esc, puts every port back, and
    // the run ends with "Programming interrupted".
    InstallSignalAbort([&job](int) { job.RequestAbort(); });
    job.Start(StandardPorts(), [environment = std::move(environment)](const JobContext& context) {
        return RunProgrammingJob(context, environment);
    });
    // The job never waits for the terminal: a slow reader only delays the printing.
    for (;;) {
        const auto event = mailbox.Take(std::chrono::hours(1));
        if (!event) {
            continue;
        }
        if (const auto* done = std::get_if<JobEvent::Done>(&event->what)) {
            // The job posts this last and returns right after it: every port is closed.
            job.Join();
            report.Finish(*done);
            return StatusAfterReport(ExitStatusOf(done->result),
                                     MessageOf(done->result, strings).value_or(""), out, err,
                                     strings);
        }
        report.Apply(*event);
    }
}

}  // namespace norvane
