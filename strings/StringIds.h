// Positions of the texts in every language of the string table.
#pragma once

namespace norvane {

enum StringId : int {
    IDS_ERASING = 0,             // "Erasing flash memory..."
    IDS_PROGRAMMING_REGION = 1,  // "Programming flash memory #%d..."
    IDS_VERIFYING = 2,           // "Verifying correct programming..."
    IDS_STATUS = 3,              // "Status"
    IDS_PROGRAMMING_BLOCK = 4,   // "Programming flash memory (block #%d)..."
    IDS_PROGRAM_VERSION = 5,     // "Program version"
    IDS_SEARCHING = 6,           // "Searching device..."
    IDS_DETECTED_ON = 7,         // "Device detected on COM%d"
    IDS_NAME_TV = 8,             // "Tarvik"
    IDS_NAME_GM = 9,             // "Gremmet"
    IDS_NAME_OS = 10,            // "Osk3"
    IDS_UNKNOWN_DEVICE = 11,     // "Unknown device"
    IDS_PROGRAMMED_OK = 12,      // "Device correctly programmed"
    IDS_NO_DEVICE = 13,          // "No device detected on any serial port"
    IDS_WRONG_DEVICE = 14,       // "Wrong device detected on serial port"
    IDS_DEVICE_ERROR = 15,       // "Device error - code %04x returned"
    IDS_ERASE_FAILED = 16,       // "Device error, unable to erase flash memory"
    IDS_INVALID_IMAGE = 17,      // "Invalid program file"
    IDS_INTERRUPTED = 18,        // "Programming interrupted"
    IDS_INVALID_REPLY = 19,      // "Invalid reply received from device"
    IDS_DEVICE = 20,             // "Device"
    IDS_SERIAL_NUMBER = 21,      // "Serial number"
    IDS_CAPTION = 22,            // "Norvane"
    IDS_ABOUT_VERSION = 23,      // "Norvane Version %s"
    IDS_ABOUT_BUILD = 24,        // "Build %s"
    IDS_ABOUT_CAPTION = 25,      // "About Norvane by Halvio"
    IDS_ERASING_REGION = 26,     // "Erasing flash memory #%d..."
    // Why a port or a run went wrong: the result box's second text; "%s" ports are labels
    // such as "COM3 (/dev/ttyUSB0)".
    IDS_PORT_NOT_SERIAL = 27,      // "%s is not a serial port."
    IDS_PORT_DENIED = 28,          // "%s: permission denied. Add your user to the dialout ..."
    IDS_PORT_IN_USE = 29,          // "%s is in use by another program. Close it and try again."
    IDS_PORT_IN_USE_BY = 30,       // "%s is in use by %s. Close it and try again."
    IDS_PORT_IN_USE_NORVANE = 31,  // "%s is in use by another Norvane (process %s). ..."
    IDS_PORT_SILENT = 32,          // "%s: opened, but no device answered."
    IDS_PORT_NO_GREETING = 33,     // "%s: data arrived, but no device greeting."
    IDS_PORT_OPEN_FAILED = 34,     // "%s could not be opened: %s"
    IDS_WHY_NO_ANSWER = 35,        // "The device stopped answering ..., during %s."
    IDS_PHASE_ERASE = 36,          // "the erase"
    IDS_PHASE_BLOCK = 37,          // "block %d of region %d"
    IDS_PHASE_VERIFY = 38,         // "the verification"
    IDS_WHY_BLOCK_MISMATCH = 39,   // "The device's check of block %d did not match ..."
    IDS_WHY_DEVICE_CODE = 40,      // "The device returned this code during %s."
    IDS_WHY_INVALID_REPLY = 41,    // "Reply \"%s\" came from %s."
    IDS_WHY_DISCONNECTED = 42,     // "The serial port %s was disconnected."
    // Command lines
    IDS_HELP_WINDOW = 43,   // "Usage: norvane [--port PORT]... [--help | --version]\n\n..."
    IDS_HELP_CONSOLE = 44,  // "Usage: norvane-console [--json] [--port PORT]... [--log ..."
    IDS_BAD_ARGUMENT = 45,  // "%s: unknown argument \"%s\". Try --help."
    // The window menu's item; '&' marks its mnemonic.
    IDS_ABOUT_ITEM = 46,  // "&About Norvane..."
    // The console's outputs
    IDS_REPORT_LOST = 47,  // "%s: the report could not be written (%s). The outcome was: %s"
    // Why a run went wrong, continued
    IDS_WHY_INTERRUPTED = 48,   // "Stopped during %s."
    IDS_PHASE_SEARCH = 49,      // "the search"
    IDS_WHY_LINE_STALLED = 50,  // "%s did not take the data within its time limit: the device o..."
    IDS_WHY_BYTES_LOST = 51,    // "This computer lost %d bytes that the device sent on %s: they..."
    IDS_WHY_ERASE_FAILED = 52,  // "The device on %s did not report its flash erased within the ..."
    IDS_WHY_DEVICE_REPORTED = 53,  // "The device reported error %04x during %s."
    IDS_WHY_UNKNOWN_KIND = 54,  // "The device on %s greeted as kind \"%s\", which this program ..."
    IDS_WHY_WRONG_DEVICE =
        55,                  // "The device on %s is %s (%s); the program's image is for %s (%s)."
    IDS_WHY_NO_PORT = 56,    // "None of the ports tried exists: %s."
    IDS_IMAGE_NO_KIND = 57,  // "The image built into the program has no kind code (OS, GM or..."
    IDS_IMAGE_NO_VERSION_END =
        58,                     // "The version text of the image built into the program has no ..."
    IDS_IMAGE_TOO_SHORT = 59,   // "The GM or TV image built into the program is shorter than it..."
    IDS_IMAGE_NO_FF = 60,       // "The OS image built into the program holds no 0xFF byte to ma..."
    IDS_IMAGE_OS_REGIONS = 61,  // "The OS image built into the program is 1 MiB or more, and it..."
    // A port held by a program that needs its own advice (after IDS_PORT_IN_USE_BY).
    IDS_PORT_HELD_MODEMMANAGER = 62,  // "%s is held by ModemManager, which opens ..."
    IDS_PORT_HELD_BRLTTY = 63,        // "%s is held by brltty (braille display support), ..."
    // Command lines that parse but cannot run
    IDS_NEEDS_VALUE = 64,       // "%s: %s needs a value. Try --help."
    IDS_PORT_TWICE = 65,        // "%s: the port %s is named twice."
    IDS_CONTINUOUS_ALONE = 66,  // "%s: --continuous needs --station."
    IDS_LOG_UNUSABLE = 67,      // "%s: the log %s cannot be opened for appending: %s"
    // The station (norvane-console --station)
    IDS_PORT = 68,                // "Port"
    IDS_ALREADY_PROGRAMMED = 69,  // "Already programmed in this run"
    IDS_PORT_IDLE = 70,           // "No device"
    IDS_STATION_SUMMARY = 71,     // "Programmed: %d, failed: %d, already programmed: %d, ..."
    IDS_STATION_STOPPING = 72,    // "Stopping: no new device is taken; ..."
    // More port stories for the second text.
    IDS_PORT_SAME_AS = 73,    // "%s is the same port as %s."
    IDS_PORT_ALSO_OPEN = 74,  // "%s (process %s) has this port open as well. Close it ..."
    IDS_COUNT = 75,
};

}  // namespace norvane
