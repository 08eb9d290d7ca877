#include "app/PortArguments.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "app/PortIdentity.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {

int ComNumberOf(const std::string& argument) {
    if (argument.size() < 4 || argument.size() > 6 || argument[3] == '0') {
        return 0;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(argument[i])) != "COM"[i]) {
            return 0;
        }
    }
    int number = 0;
    for (size_t i = 3; i < argument.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(argument[i]))) {
            return 0;
        }
        number = number * 10 + (argument[i] - '0');
    }
    return number <= 255 ? number : 0;
}

PortChoice PortsFromArguments(const std::vector<std::string>& arguments) {
    PortChoice choice;
    if (arguments.empty()) {
        choice.ports = StandardPorts();
        return choice;
    }
    std::set<int> taken;
    for (const std::string& argument : arguments) {
        if (const int number = ComNumberOf(argument)) {
            taken.insert(number);
        }
    }
    std::set<std::string> identities;
    int nextFree = 1;
    for (const std::string& argument : arguments) {
        PortEntry entry;
        if (const int number = ComNumberOf(argument)) {
            entry = {number, "COM" + std::to_string(number)};
        } else {
            while (taken.count(nextFree) != 0) {
                ++nextFree;
            }
            taken.insert(nextFree);
            entry = {nextFree, argument};
        }
        if (!identities.insert(PortIdentity(entry)).second && choice.namedTwice.empty()) {
            choice.namedTwice = argument;
        }
        choice.ports.push_back(std::move(entry));
    }
    return choice;
}

std::optional<CommandReply> RefusalOf(const PortChoice& choice, const MultiStrings& strings,
                                      const CommandProgram& program) {
    if (choice.namedTwice.empty()) {
        return std::nullopt;
    }
    return Refusal(FormatText(strings.Text(IDS_PORT_TWICE), {program.name, choice.namedTwice}));
}

}  // namespace norvane
