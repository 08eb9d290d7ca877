#include "app/console/ConsoleOptions.h"

namespace norvane {

ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& args) {
    ConsoleOptions options;
    bool help = false;
    bool version = false;
    for (const std::string& arg : args) {
        if (arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--json") {
            options.json = true;
        } else {
            options.action = ConsoleOptions::Action::Refuse;
            options.refused = arg;
            return options;
        }
    }
    if (help) {
        options.action = ConsoleOptions::Action::Help;
    } else if (version) {
        options.action = ConsoleOptions::Action::Version;
    }
    return options;
}

}  // namespace norvane
