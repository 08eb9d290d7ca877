// Why a port could not be opened, in the terms the user can act on: the device is not there,
// it is not a serial port, the user may not open it, another program holds it, or this program
// has it open already under another name.
#pragma once

#include <string>

namespace norvane {

enum class OpenFailureKind {
    None,              // opened (or never tried)
    NotPresent,        // no such device (or the COMn is configured as "no port")
    NotSerialPort,     // a file, a directory, /dev/null, a FIFO: no serial line behind it
    PermissionDenied,  // the system refused the user (e.g. not in the dialout group)
    InUse,             // another program holds it
    OpenedTwice,       // this program has the same device open already, as `openedAs`
    Other,             // anything else; `systemText` says what
};

// Another process that has a port's device open, as far as the system lets us see it.
struct PortHolder {
    std::string name;  // its program name
    int pid = 0;
    bool isNorvane = false;  // norvane or norvane-console
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    PortHolder holder;       // for InUse, when the system lets us see who (else pid 0)
    std::string systemText;  // the system's text for the error, without a line break
    std::string openedAs;    // for OpenedTwice: the name the device is open under ("COM1")
};

}  // namespace norvane
