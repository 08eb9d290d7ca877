// The programs' command line. The window takes no arguments: --help and --version are
// answered and the program ends, anything else is refused, all before a window or a port is
// opened, so that a mistyped command never starts a programming run. norvane-console reads
// its own options (--json) and leaves the rest to the same rules.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace norvane {

class MultiStrings;
struct AboutLines;

// Exit status of a refused command line: a status of its own, apart from the results' and the
// start-up's (EX_USAGE of <sysexits.h>).
constexpr int kExitBadArgument = 64;

enum class CommandAction { Run, Help, Version, Refuse };

struct CommandLine {
    CommandAction action = CommandAction::Run;
    std::string refused;  // the first argument not understood (Refuse)
};

// `arguments` without the program's name. An argument not understood wins over --help and
// --version wherever it stands; otherwise the first of those two decides.
CommandLine ParseCommandLine(std::span<const char* const> arguments);

// What the program says instead of opening its window, and the status it ends with.
struct CommandReply {
    std::string text;  // ends with a line break
    bool toStandardError = false;
    int exitStatus = 0;
};

// Which program answers: its name in a refusal and its help text.
struct CommandProgram {
    const char* name;
    int helpId;
};
extern const CommandProgram kWindowProgram;   // norvane
extern const CommandProgram kConsoleProgram;  // norvane-console

// None for Run. --version gives the about box's version and build lines.
std::optional<CommandReply> ReplyTo(const CommandLine& command, const MultiStrings& strings,
                                    const AboutLines& about,
                                    const CommandProgram& program = kWindowProgram);

}  // namespace norvane
