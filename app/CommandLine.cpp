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

const CommandProgram kWindowProgram{"norvane", IDS_HELP_WINDOW, false};
const CommandProgram kConsoleProgram{"norvane-console", IDS_HELP_CONSOLE, true};

CommandLine ParseCommandLine(std::span<const char* const> arguments,
                             const CommandProgram& program) {
    CommandLine command;
    const auto refuse = [](std::string_view argument, bool missingValue) {
        CommandLine refusal;
        refusal.action = CommandAction::Refuse;
        refusal.refused = std::string(argument);
        refusal.missingValue = missingValue;
        return refusal;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view text = arguments[i];
        const bool console = program.consoleOptions;
        if (text == "--help" || text == "--version") {
            if (command.action == CommandAction::Run) {
                command.action = text == "--help" ? CommandAction::Help : CommandAction::Version;
            }
        } else if (text == "--port" || (console && text == "--log")) {
            if (i + 1 == arguments.size()) {
                return refuse(text, true);
            }
            const std::string value = arguments[++i];
            if (text == "--port") {
                command.ports.push_back(value);
            } else {
                command.logPath = value;
            }
        } else if (console && text == "--json") {
            command.json = true;
        } else if (console && text == "--station") {
            command.station = true;
        } else if (console && text == "--continuous") {
            command.continuous = true;
        } else {
            return refuse(text, false);
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
            return CommandReply{
                WithLineBreak(FormatText(
                    strings.Text(command.missingValue ? IDS_NEEDS_VALUE : IDS_BAD_ARGUMENT),
                    {program.name, command.refused})),
                true, kExitBadArgument};
    }
    return std::nullopt;
}

CommandReply Refusal(std::string text) {
    return {WithLineBreak(std::move(text)), true, kExitBadArgument};
}

}  // namespace norvane
