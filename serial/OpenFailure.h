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

// The programs that hold ports often enough to get advice of their own.
enum class KnownHolder {
    Other,         // any other program: close it
    Norvane,       // norvane or norvane-console: let it finish
    ModemManager,  // opens every new USB serial adapter for a while, looking for a modem
    Brltty,        // braille display support: takes some USB serial adapters for itself
};

// Another process that has a port's device open, as far as the system lets us see it.
struct PortHolder {
    std::string name;  // its program name, made visible (any process names itself)
    int pid = 0;
    KnownHolder known = KnownHolder::Other;
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    PortHolder holder;       // for InUse, when the system lets us see who (else pid 0)
    std::string systemText;  // the system's text for the error, without a line break
    std::string openedAs;    // for OpenedTwice: the name the device is open under ("COM1")
};

}  // namespace norvane
