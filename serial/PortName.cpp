#include "serial/PortName.h"

#include "platform/AsciiCase.h"

namespace norvane {

namespace {

// Far beyond any port a system numbers, and far from overflowing an int.
constexpr int kHighestComNumber = 99999;

}  // namespace

int ComPortNumber(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "COM" || name[3] == '0') {
        return 0;
    }
    int number = 0;
    for (const char digit : name.substr(3)) {
        if (digit < '0' || digit > '9' || number > kHighestComNumber / 10) {
            return 0;
        }
        number = number * 10 + (digit - '0');
    }
    return number <= kHighestComNumber ? number : 0;
}

int ComPortNumberIgnoringCase(std::string_view name) {
    if (name.size() < 3 || !EqualIgnoringAsciiCase(name.substr(0, 3), "COM")) {
        return 0;
    }
    return ComPortNumber("COM" + std::string(name.substr(3)));
}

std::string Win32DeviceName(const std::string& name) {
    return ComPortNumberIgnoringCase(name) != 0 ? "\\\\.\\" + name : name;
}

}  // namespace norvane
