// The programs' command line. --help and --version are answered and the program ends, anything
// not understood is refused, all before a window or a port is opened, so that a mistyped
// command never starts a programming run. Both programs take --port; norvane-console also
// takes its own options (--json, --station, --continuous, --log).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace norvane {

class MultiStrings;
struct AboutLines;

// Exit status of a refused command line: a status of its own, apart from the results' and the
// start-up's (EX_USAGE of <sysexits.h>).
constexpr int kExitBadArgument = 64;

enum class CommandAction { Run, Help, Version, Refuse };

// Which program answers: its name in a refusal, its help text, and whether it takes the
// console's own options.
struct CommandProgram {
    const char* name;
    int helpId;
    bool consoleOptions;
};
extern const CommandProgram kWindowProgram;   // norvane
extern const CommandProgram kConsoleProgram;  // norvane-console

struct CommandLine {
    CommandAction action = CommandAction::Run;
    std::string refused;             // Refuse: the first argument not understood
    bool missingValue = false;       // Refuse: `refused` is an option given without its value
    std::vector<std::string> ports;  // --port, in the order given
    // norvane-console's own
    bool json = false;
    bool station = false;
    bool continuous = false;
    std::optional<std::string> logPath;
};

// `arguments` without the program's name. An argument not understood wins over --help and
// --version wherever it stands; otherwise the first of those two decides. An option that takes
// a value takes the next argument, whatever it is.
CommandLine ParseCommandLine(std::span<const char* const> arguments,
                             const CommandProgram& program = kWindowProgram);

// What the program says instead of running, and the status it ends with.
struct CommandReply {
    std::string text;  // ends with a line break
    bool toStandardError = false;
    int exitStatus = 0;
};

// None for Run. --version gives the about box's version and build lines.
std::optional<CommandReply> ReplyTo(const CommandLine& command, const MultiStrings& strings,
                                    const AboutLines& about,
                                    const CommandProgram& program = kWindowProgram);

// A command line that parsed but cannot run (a port named twice, a log that cannot be
// written): `text` on standard error, status 64.
CommandReply Refusal(std::string text);

}  // namespace norvane
