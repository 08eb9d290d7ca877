// Turning the errno of a failed open into what the user can act on.
#pragma once

#include <optional>
#include <string>

#include "serial/OpenFailure.h"

namespace norvane::posix {

OpenFailureKind KindOfOpenError(int error);

// The failure for `error` on `path`, with the system's text; for a port in use, the program
// that holds it when /proc lets us see it.
OpenFailure DescribeOpenFailure(int error, const std::string& path);

// The first other process that has `path` open (compared as SameDevice, so any name of the
// device matches). None when none can be seen (other users' processes are hidden from us).
std::optional<PortHolder> FindPortHolder(const std::string& path);

// The holder a process's program name (/proc/<pid>/comm) stands for.
KnownHolder KnownHolderNamed(const std::string& program);

}  // namespace norvane::posix
