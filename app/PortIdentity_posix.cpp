// POSIX: "COMn" leads where NORVANE_COMn or the default table says (serial/PortName.h); two
// names are one port when they reach the same file.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/PortIdentity.h"
#include "serial/PortName.h"

namespace norvane {

std::string PortIdentity(const PortEntry& port) {
    const auto path = ResolvePortPath(port.name);
    if (!path) {
        return port.name;  // no such port: only its own name names it
    }
    char real[PATH_MAX];
    return realpath(path->c_str(), real) != nullptr ? std::string(real) : *path;
}

std::string PortPathOf(const PortEntry& port) {
    return ResolvePortPath(port.name).value_or("");
}

std::optional<std::string> MissingPortReason(const PortEntry& port) {
    if (port.name == "COM" + std::to_string(port.number)) {
        return std::nullopt;
    }
    struct stat found {};
    if (stat(port.name.c_str(), &found) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
        return std::nullopt;  // there: opening it tells the rest
    }
    return std::string(std::strerror(errno));
}

}  // namespace norvane
