// Why a port could not be opened, in the terms the user can act on: the device is not there,
// it is not a serial port, the user may not open it, or another program holds it.
#pragma once

#include <string>

namespace norvane {

enum class OpenFailureKind {
    None,              // opened (or never tried)
    NotPresent,        // no such device (or the COMn is configured as "no port")
    NotSerialPort,     // a file, a directory, /dev/null, a FIFO: no serial line behind it
    PermissionDenied,  // the system refused the user (e.g. not in the dialout group)
    InUse,             // another program holds it
    Other,             // anything else; `systemText` says what
};

// The programs that hold ports often enough to get advice of their own.
enum class KnownHolder {
    Other,         // any other program: close it
    Norvane,       // norvane or norvane-console: let it finish
    ModemManager,  // opens every new USB serial adapter for a while, looking for a modem
    Brltty,        // braille display support: takes some USB serial adapters for itself
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    // For InUse, when the system lets us see who: the holder's program name and process id.
    std::string holderName;
    int holderPid = 0;
    KnownHolder holder = KnownHolder::Other;
    std::string systemText;  // the system's text for the error, without a line break
};

}  // namespace norvane
