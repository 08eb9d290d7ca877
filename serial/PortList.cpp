#include "serial/PortList.h"

namespace norvane {

PortList StandardPorts() {
    PortList ports;
    for (int n = 1; n <= 8; ++n) {
        ports.push_back({n, "COM" + std::to_string(n)});
    }
    return ports;
}

}  // namespace norvane
