#include "app/console/Console.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "app/JobMailbox.h"
#include "app/JobThread.h"
#include "app/PortArguments.h"
#include "app/SignalAbort.h"
#include "app/Startup.h"
#include "app/console/ConsoleOutput.h"
#include "app/console/ConsoleReport.h"
#include "app/console/DeviceLog.h"
#include "app/console/Sha256.h"
#include "app/console/Station.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// The run's exit status once its report is out: a report that was lost, on any of the outputs
// or in the log, turns it into kExitReportLost, said on standard error (which may be lost too)
// with the outcome it would have told.
int StatusAfterReport(int status, const std::string& outcome, const ReportStream& out,
                      ReportStream& err, const DeviceLog& log, const MultiStrings& strings) {
    std::string reason;
    if (out.Lost() || err.Lost()) {
        reason = (out.Lost() ? out : err).LostReason();
    } else if (log.Lost()) {
        reason = log.LostReason();
    } else {
        return status;
    }
    err.Write(FormatText(strings.Text(IDS_REPORT_LOST), {kConsoleProgram.name, reason, outcome}) +
              "\n");
    return kExitReportLost;
}

// What every line of the log says of this run: the machine, the image and the program.
LogIdentity IdentityOf(const JobEnvironment& environment, const VersionInfo& version) {
    const ImageSpan image = environment.loadImage();
    const ImageKind kind = UsableImageKind(image);
    return {HostName(), kind != IMAGE_INVALID ? VersionTextOf(image, kind) : "", Sha256Hex(image),
            version.Query("ProductVersion").value_or("")};
}

// The command line's refusals that need more than the words: each before any port is opened.
std::optional<CommandReply> Refuse(const CommandLine& command, const PortChoice& ports,
                                   const MultiStrings& strings) {
    const char* const name = kConsoleProgram.name;
    if (command.continuous && !command.station) {
        return Refusal(FormatText(strings.Text(IDS_CONTINUOUS_ALONE), {name}));
    }
    return RefusalOf(ports, strings, kConsoleProgram);
}

// One job on the ports, reported as the window would show it.
int RunSingle(const PortList& ports, JobEnvironment environment, ReportStyle style,
              const MultiStrings& strings, ConsoleOutputs outputs) {
    ConsoleReport report(style, strings, outputs.out, outputs.err,
                         style == ReportStyle::Terminal ? TerminalColumns() : 0);
    JobMailbox mailbox;
    JobThread job(0, mailbox);
    // A signal is the user's abort: the job stops as after Esc, puts every port back, and
    // the run ends with "Programming interrupted".
    InstallSignalAbort([&job](int) { job.RequestAbort(); });
    job.Start(ports, [environment = std::move(environment)](const JobContext& context) {
        return RunProgrammingJob(context, environment);
    });
    DeviceTrack device;
    // The job never waits for the terminal: a slow reader only delays the printing.
    for (;;) {
        const auto event = mailbox.Take(std::chrono::hours(1));
        if (!event) {
            continue;
        }
        if (const auto* found = std::get_if<JobEvent::Found>(&event->what)) {
            device.Found(*found);
        }
        if (const auto* done = std::get_if<JobEvent::Done>(&event->what)) {
            // The job posts this last and returns right after it: every port is closed.
            job.Join();
            report.Finish(*done);
            if (const auto record = device.Done(*done, {}, strings)) {
                outputs.log.Write(*record);
            }
            return StatusAfterReport(ExitStatusOf(done->result),
                                     MessageOf(done->result, strings).value_or(""), outputs.out,
                                     outputs.err, outputs.log, strings);
        }
        report.Apply(*event);
    }
}

}  // namespace

int RunConsole(const std::vector<std::string>& args, JobEnvironment environment,
               const VersionInfo& version) {
    // Every text comes from the string table: without it, stop before any port is touched.
    MultiStrings& strings = TheStrings();
    if (const auto error = LoadStringTable(StringTableResource(), strings)) {
        std::fprintf(stderr, "%s: %s\n", kConsoleProgram.name, error->c_str());
        return kExitBadStrings;
    }
    std::vector<const char*> arguments;
    for (const std::string& arg : args) {
        arguments.push_back(arg.c_str());
    }
    const CommandLine command = ParseCommandLine(arguments, kConsoleProgram);
    const PortChoice ports = PortsFromArguments(command.ports);
    auto reply = ReplyTo(command, strings, AboutLinesFrom(version, strings), kConsoleProgram);
    if (!reply) {
        reply = Refuse(command, ports, strings);
    }
    DeviceLog log;
    if (!reply && command.logPath) {
        if (const auto error = log.Open(*command.logPath, IdentityOf(environment, version))) {
            reply = Refusal(FormatText(strings.Text(IDS_LOG_UNUSABLE),
                                       {kConsoleProgram.name, *command.logPath, *error}));
        }
    }
    if (reply) {
        std::fputs(reply->text.c_str(), reply->toStandardError ? stderr : stdout);
        return reply->exitStatus;
    }

    const ConsoleOutput output = PrepareConsoleOutput();
    ReportStream out(stdout);
    ReportStream err(stderr);
    const ConsoleOutputs outputs{out, err, log};
    if (!command.station) {
        const ReportStyle style = command.json      ? ReportStyle::Json
                                  : output.terminal ? ReportStyle::Terminal
                                                    : ReportStyle::Lines;
        return RunSingle(ports.ports, std::move(environment), style, strings, outputs);
    }
    // The station's table moves the cursor up over itself: a terminal that cannot gets lines.
    const ReportStyle style = command.json         ? ReportStyle::Json
                              : output.cursorMoves ? ReportStyle::Terminal
                                                   : ReportStyle::Lines;
    std::string outcome;
    const int status = RunStation({ports.ports, command.continuous, style}, environment, strings,
                                  outputs, &outcome);
    return StatusAfterReport(status, outcome, out, err, log, strings);
}

}  // namespace norvane
