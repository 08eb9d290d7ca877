#include <cstdlib>

#include "serial/PortName.h"
#include "serial/SysfsPorts_linux.h"

namespace norvane {

namespace {

// The variables the search's ports are named by, COM1..COM8.
constexpr int kNamedPorts = 8;

// The value of NORVANE_COMn, or nullptr where it is not set.
const char* PortVariable(int n) {
    return std::getenv(("NORVANE_COM" + std::to_string(n)).c_str());
}

}  // namespace

std::optional<std::string> ResolvePortPath(const std::string& portName,
                                           const std::string& systemRoot) {
    const int number = ComPortNumber(portName);
    if (number == 0) {
        return portName;
    }
    if (const char* configured = PortVariable(number)) {
        if (configured[0] == '\0') {
            return std::nullopt;
        }
        return std::string(configured);
    }
    const std::vector<std::string> ports = posix::ListSerialPorts(systemRoot);
    if (static_cast<size_t>(number) > ports.size()) {
        return std::nullopt;
    }
    const std::string& path = ports[static_cast<size_t>(number) - 1];
    for (int n = 1; n <= kNamedPorts; ++n) {
        const char* named = PortVariable(n);
        if (named != nullptr && named[0] != '\0' && posix::SamePortPath(named, path, systemRoot)) {
            return std::nullopt;  // searched under the number its variable gives it
        }
    }
    return path;
}

}  // namespace norvane
