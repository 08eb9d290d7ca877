// The ports a run listens on, from the command line: those named with --port, in the order
// given, each "COMn" by its own number and each path by the lowest number no other --port
// takes; COM1..COM8 when none is named.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "serial/PortList.h"

namespace norvane {

struct PortChoice {
    PortList ports;
    std::string namedTwice;  // the argument that names a port named before it; empty when none
};

PortChoice PortsFromArguments(const std::vector<std::string>& arguments);

// The refusal of a choice that names a port twice (status 64); none when each is named once.
std::optional<CommandReply> RefusalOf(const PortChoice& choice, const MultiStrings& strings,
                                      const CommandProgram& program);

// n for "COMn" (any case, n from 1 to 255), else 0.
int ComNumberOf(const std::string& argument);

}  // namespace norvane
