// The machine's serial ports as Linux shows them: sysfs (/sys/class/tty) says which ports have
// hardware behind them and what that hardware is; udev's /dev/serial/by-id gives each USB
// adapter a name that stays the same whichever socket and order it is plugged in. `root` is
// "/" for the machine itself; tests give a tree of their own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace norvane::posix {

// The device paths of the serial ports with hardware behind them, in the order the program
// numbers them COM1, COM2, ...: first the built-in UARTs (ttyS) by number, leaving out those
// whose UART is absent (the 8250 driver registers ttyS0..ttyS3 on every PC and gives a missing
// UART the type 0, PORT_UNKNOWN); then every other port (USB adapters, ...) by its
// /dev/serial/by-id name where udev made one, else by its /dev name. Names sort as text with
// their numbers by value (ttyUSB2 before ttyUSB10).
std::vector<std::string> ListSerialPorts(const std::filesystem::path& root);

// What the port at `devicePath` is, for the user: "16550A" for a built-in UART, "FTDI FT232R
// USB UART, serial A12345" for a USB adapter (its own texts, made visible: an adapter may
// report anything); empty where sysfs knows no hardware (a pseudo-terminal).
std::string DescribeSerialPort(const std::string& devicePath, const std::filesystem::path& root);

// True when both paths lead to the same node once links are followed.
bool SamePortPath(const std::string& a, const std::string& b, const std::filesystem::path& root);

}  // namespace norvane::posix
