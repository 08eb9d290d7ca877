#include "app/console/ConsoleOptions.h"

namespace norvane {

ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& args) {
    ConsoleOptions options;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "--version") {
            if (options.action == ConsoleOptions::Action::Run) {
                options.action = arg == "--help" ? ConsoleOptions::Action::Help
                                                 : ConsoleOptions::Action::Version;
            }
        } else if (arg == "--json") {
            options.json = true;
        } else {
            options.action = ConsoleOptions::Action::Refuse;
            options.refused = arg;
            return options;
        }
    }
    return options;
}

}  // namespace norvane
