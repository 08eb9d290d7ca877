// Windows: a port is its device name, without regard to case and with or without the "\\.\"
// prefix that COM10 and above need. Whether a device is there only opening it tells.
#include <cctype>

#include "app/PortIdentity.h"

namespace norvane {

std::string PortIdentity(const PortEntry& port) {
    std::string name = port.name;
    if (name.rfind("\\\\.\\", 0) == 0) {
        name.erase(0, 4);
    }
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

std::string PortPathOf(const PortEntry& port) {
    return port.name;
}

std::optional<std::string> MissingPortReason(const PortEntry&) {
    return std::nullopt;
}

}  // namespace norvane
