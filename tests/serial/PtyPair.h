// A pseudo-terminal pair for port tests: the port opens the slave through COM1, the test
// plays the device on the master.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/WaitUntil.h"

namespace norvane::test {

class PtyPair {
public:
    PtyPair();  // also points COM1 at the slave and disables COM2..COM8
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    termios MasterSettings() const;
    void WriteToSlave(const std::vector<uint8_t>& bytes);  // as the device sending
    // Reads what the port sent until `count` bytes came or `timeout` passed.
    std::vector<uint8_t> ReadFromSlave(size_t count, std::chrono::milliseconds timeout);
    void CloseMaster();  // the device hangs up

    int master = -1;
    std::string slavePath;
};

// Every COMn variable is set, so no test ever reaches a real device: COM1 -> `path`,
// COM2..COM8 -> no such port.
void PointComPortsAt(const std::string& path);

size_t OpenFdCount();
size_t ThreadCount();
double ProcessCpuSeconds();
std::vector<uint8_t> Pattern(size_t length, uint32_t seed);

}  // namespace norvane::test
