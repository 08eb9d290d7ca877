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

// The ports the program searches when none is named: COM1..COM8.
PortList StandardPorts();

}  // namespace norvane
