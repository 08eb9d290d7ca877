// The ports a job listens on: each with the number the user knows it by (the n of "COMn" in
// every text) and the name its port object opens.
#pragma once

#include <string>
#include <vector>

namespace norvane {

struct PortEntry {
    int number = 0;    // the n of "COMn" shown to the user
    std::string name;  // what SerialPort::Open takes: "COM3", or a device path
};
using PortList = std::vector<PortEntry>;

// COM1..COM`count`, by their names.
inline PortList NumberedComPorts(int count) {
    PortList ports;
    for (int n = 1; n <= count; ++n) {
        ports.push_back({n, "COM" + std::to_string(n)});
    }
    return ports;
}

// The ports the program searches when none is named: COM1..COM8.
PortList StandardPorts();

}  // namespace norvane
