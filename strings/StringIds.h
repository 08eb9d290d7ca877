// Positions of the texts in every language of the string table.
#pragma once

namespace norvane {

enum StringId : int {
    IDS_ERASING = 0,                   // "Erasing flash memory..."
    IDS_PROGRAMMING_REGION = 1,        // "Programming flash memory #%d..."
    IDS_VERIFYING = 2,                 // "Verifying correct programming..."
    IDS_STATUS = 3,                    // "Status"
    IDS_PROGRAMMING_BLOCK = 4,         // "Programming flash memory (block #%d)..."
    IDS_PROGRAM_VERSION = 5,           // "Program version"
    IDS_SEARCHING = 6,                 // "Searching device..."
    IDS_DETECTED_ON = 7,               // "Device detected on COM%d"
    IDS_NAME_TV = 8,                   // "Tarvik"
    IDS_NAME_GM = 9,                   // "Gremmet"
    IDS_NAME_OS = 10,                  // "Osk3"
    IDS_UNKNOWN_DEVICE = 11,           // "Unknown device"
    IDS_PROGRAMMED_OK = 12,            // "Device correctly programmed"
    IDS_NO_DEVICE = 13,                // "No device detected on any serial port"
    IDS_WRONG_DEVICE = 14,             // "Wrong device detected on serial port"
    IDS_DEVICE_ERROR = 15,             // "Device error - code %04x returned"
    IDS_ERASE_FAILED = 16,             // "Device error, unable to erase flash memory"
    IDS_INVALID_IMAGE = 17,            // "Invalid program file"
    IDS_INTERRUPTED = 18,              // "Programming interrupted"
    IDS_INVALID_REPLY = 19,            // "Invalid reply received from device"
    IDS_DEVICE = 20,                   // "Device"
    IDS_SERIAL_NUMBER = 21,            // "Serial number"
    IDS_CAPTION = 22,                  // "Norvane"
    IDS_ABOUT_VERSION = 23,            // "Norvane Version %s"
    IDS_ABOUT_BUILD = 24,              // "Build %s"
    IDS_ABOUT_CAPTION = 25,            // "About Norvane by Halvio"
    IDS_ERASING_REGION = 26,           // "Erasing flash memory #%d..."
    IDS_COUNT = 27,
};

}  // namespace norvane
