#include "serial/PortName.h"

#include <cstdlib>

namespace norvane {

namespace {

constexpr const char* kDefaultDevices[8] = {
    "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",   "/dev/ttyS3",
    "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyACM1",
};

// 1..8 for exactly "COM1".."COM8", else 0.
int ComNumber(const std::string& name) {
    if (name.size() != 4 || name.compare(0, 3, "COM") != 0) {
        return 0;
    }
    const char digit = name[3];
    return digit >= '1' && digit <= '8' ? digit - '0' : 0;
}

}  // namespace

std::optional<std::string> ResolvePortPath(const std::string& portName) {
    const int number = ComNumber(portName);
    if (number == 0) {
        return portName;
    }
    const std::string variable = "NORVANE_" + portName;
    if (const char* configured = std::getenv(variable.c_str())) {
        if (configured[0] == '\0') {
            return std::nullopt;
        }
        return std::string(configured);
    }
    return std::string(kDefaultDevices[number - 1]);
}

}  // namespace norvane
