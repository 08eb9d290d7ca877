// Maps the port names the engine uses ("COM1".."COM8") to device paths.
#pragma once

#include <optional>
#include <string>

namespace norvane {

// "COMn" (n = 1..8): the value of the environment variable NORVANE_COMn when it is set, where
// an empty value means the port does not exist (nullopt); otherwise the default device
// COM1-COM4 -> /dev/ttyS0-3, COM5/COM6 -> /dev/ttyUSB0/1, COM7/COM8 -> /dev/ttyACM0/1.
// Any other name is a path as it stands.
std::optional<std::string> ResolvePortPath(const std::string& portName);

}  // namespace norvane
