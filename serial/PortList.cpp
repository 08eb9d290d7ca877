#include "serial/PortList.h"

#include <algorithm>

#include "serial/PortName.h"

namespace norvane {

PortList PortsFromSystemNames(const std::vector<std::string>& names) {
    PortList ports;
    for (const std::string& name : names) {
        const int number = ComPortNumberIgnoringCase(name);
        const bool known = std::any_of(ports.begin(), ports.end(), [number](const PortEntry& port) {
            return port.number == number;
        });
        if (number != 0 && !known) {
            ports.push_back({number, "COM" + std::to_string(number)});
        }
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return ports;
}

}  // namespace norvane
