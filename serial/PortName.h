// Port names: the "COMn" the user knows a port by, and what each back end opens for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norvane {

// n for "COMn" (any n from 1 on, written without leading zeros), else 0. Letters as written:
// "com3" is no COM name on POSIX, where NORVANE_COMn is written in capitals.
int ComPortNumber(std::string_view name);
// The same with "COM" in either case, as Windows takes it ("com12").
int ComPortNumberIgnoringCase(std::string_view name);

// What the Win32 back end opens for a port name: "\\.\COMn" for COMn in either case, since
// CreateFile reaches COM10 and above only through the device namespace; any other name as it
// stands.
std::string Win32DeviceName(const std::string& name);

// POSIX: the device path of "COMn". NORVANE_COMn when it is set, where an empty value means
// the port does not exist (nullopt); otherwise the nth of the machine's serial ports as
// ListSerialPorts (SysfsPorts_linux.h) finds them under `systemRoot`, nullopt past the last
// of them or for a port that one of NORVANE_COM1..NORVANE_COM8 names already (a port is
// searched once). Any other name is a path as it stands.
std::optional<std::string> ResolvePortPath(const std::string& portName,
                                           const std::string& systemRoot = "/");

}  // namespace norvane
