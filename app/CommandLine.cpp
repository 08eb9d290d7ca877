#include "app/CommandLine.h"

#include <string_view>

#include "app/AboutBox.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

std::string WithLineBreak(std::string text) {
    if (text.empty() || text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace

const CommandProgram kWindowProgram{"norvane", IDS_HELP_WINDOW};
const CommandProgram kConsoleProgram{"norvane-console", IDS_HELP_CONSOLE};

CommandLine ParseCommandLine(std::span<const char* const> arguments) {
    CommandLine command;
    for (const char* argument : arguments) {
        const std::string_view text = argument;
        if (text == "--help" || text == "--version") {
            if (command.action == CommandAction::Run) {
                command.action = text == "--help" ? CommandAction::Help : CommandAction::Version;
            }
        } else {
            return {CommandAction::Refuse, std::string(text)};
        }
    }
    return command;
}

std::optional<CommandReply> ReplyTo(const CommandLine& command, const MultiStrings& strings,
                                    const AboutLines& about, const CommandProgram& program) {
    switch (command.action) {
        case CommandAction::Run:
            return std::nullopt;
        case CommandAction::Help:
            return CommandReply{WithLineBreak(strings.Text(program.helpId)), false, 0};
        case CommandAction::Version:
            return CommandReply{WithLineBreak(about.version) + WithLineBreak(about.build), false,
                                0};
        case CommandAction::Refuse:
            return CommandReply{WithLineBreak(FormatText(strings.Text(IDS_BAD_ARGUMENT),
                                                         {program.name, command.refused})),
                                true, kExitBadArgument};
    }
    return std::nullopt;
}

}  // namespace norvane
