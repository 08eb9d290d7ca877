#include "app/console/Console.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "app/AboutBox.h"
#include "app/SignalAbort.h"
#include "app/Startup.h"
#include "app/console/ConsoleOptions.h"
#include "app/console/ConsoleReport.h"
#include "app/console/ConsoleSession.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

constexpr const char* kProgramName = "norvane-console";

void PrintVersion(const CMultiStrings& strings) {
    const AboutLines about = AboutLinesFrom(VersionInfo::OfProgram(), strings);
    for (const std::string* line : {&about.version, &about.build}) {
        if (!line->empty()) {
            std::printf("%s\n", line->c_str());
        }
    }
}

}  // namespace

int RunConsole(const std::vector<std::string>& args, JobEnvironment environment) {
    // Every text comes from the string table: without it, stop before any port is touched.
    CMultiStrings& strings = TheStrings();
    if (const auto error = LoadStringTable(StringTableResource(), strings)) {
        std::fprintf(stderr, "%s: %s\n", kProgramName, error->c_str());
        return kExitBadStrings;
    }
    const ConsoleOptions options = ParseConsoleOptions(args);
    switch (options.action) {
        case ConsoleOptions::Action::Refuse:
            std::fprintf(stderr, "%s\n",
                         FormatText(strings.Text(IDS_BAD_ARGUMENT), {kProgramName, options.refused})
                             .c_str());
            return kExitBadArgument;
        case ConsoleOptions::Action::Help:
            std::printf("%s\n", strings.Text(IDS_HELP_CONSOLE));
            return 0;
        case ConsoleOptions::Action::Version:
            PrintVersion(strings);
            return 0;
        case ConsoleOptions::Action::Run:
            break;
    }

    const ReportStyle style = options.json                 ? ReportStyle::Json
                              : isatty(STDOUT_FILENO) != 0 ? ReportStyle::Terminal
                                                           : ReportStyle::Lines;
    // A reader that goes away (a script's pipe closed early) must not end the program in the
    // middle of a run, with the device half-written and its port not put back: the job goes
    // on to its end and the exit status still tells the outcome.
    signal(SIGPIPE, SIG_IGN);
    ConsoleReport report(style, strings, stdout, stderr);
    ConsoleSession session(report);
    // A signal is the user's abort: the job stops as after Esc, puts every port back, and
    // the run ends with "Programming interrupted".
    InstallSignalAbort([&session](int) { session.RequestAbort(); });
    session.Start([environment = std::move(environment)](JobStart* start) {
        return RunProgrammingJob(start, environment);
    });
    return ExitStatusOf(session.PrintUntilDone());
}

}  // namespace norvane
