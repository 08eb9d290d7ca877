// The command line of norvane-console. Nothing on it can change what gets programmed: the
// image is built in, so the only choices are how to report (text or JSON lines) and the two
// questions that never touch a port.
#pragma once

#include <string>
#include <vector>

namespace norvane {

// Status of a refused command line, before any port is opened (the window program uses the
// same).
constexpr int kExitBadArgument = 64;

struct ConsoleOptions {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    bool json = false;
    std::string refused;  // the first argument not understood
};

// Parses argv[1..] as the window program does its own: an argument not understood refuses the
// whole line wherever it stands; otherwise the first of --help and --version decides.
ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& args);

}  // namespace norvane
