// What a port's name leads to on this system, for the command line and the reports: two names
// of one device are one port, and a path that is not there is its port's own failure.
#pragma once

#include <optional>
#include <string>

#include "serial/PortList.h"

namespace norvane {

// The same text for two names of the same device ("COM1" and the path NORVANE_COM1 names).
std::string PortIdentity(const PortEntry& port);

// The device the port leads to, as the reports show it; empty where the port has none.
std::string PortPathOf(const PortEntry& port);

// For a port named by a path that does not exist: the system's reason. None for a port named
// "COMn", whose absence only means that nothing greets there.
std::optional<std::string> MissingPortReason(const PortEntry& port);

}  // namespace norvane
