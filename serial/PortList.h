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

// The ports the program searches when none is named. POSIX: COM1..COM8 (each COMn leads to
// the port PortName.h resolves it to). Windows: the ports the system lists
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), by number; COM1..COM8 where it has no such list.
PortList StandardPorts();

// The ports among a system's names for its ports ("COM12"; letters in either case), each once,
// by number; names that are no COM name are left out.
PortList PortsFromSystemNames(const std::vector<std::string>& names);

}  // namespace norvane
