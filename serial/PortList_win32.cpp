#include <string>
#include <vector>

#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/PortList.h"

namespace norvane {

namespace {

// Where Windows lists the serial ports its drivers have made: one value each, named after the
// driver's device ("\Device\Serial0", "\Device\VCP0") and holding the port's name ("COM3").
constexpr char kDeviceMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

}  // namespace

PortList StandardPorts() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceMapKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return NumberedComPorts(8);  // a system without the list: the ports tried as ever
    }
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameLength = sizeof valueName;
        char data[256] = {};
        DWORD dataLength = sizeof data - 1;  // room for the NUL a value may lack
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, valueName, &valueNameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataLength);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            break;  // ERROR_NO_MORE_ITEMS after the last value
        }
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            names.emplace_back(data);
        }
    }
    RegCloseKey(key);
    return PortsFromSystemNames(names);
}

// The texts name a Windows port by its COM number alone, as they always have.
std::string CommPort::PortDescription() const {
    return {};
}

}  // namespace norvane
