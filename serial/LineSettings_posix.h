// The termios settings the port puts on its line: raw bytes, no flow control of any kind,
// the caller's frame and speed.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/LineFrame.h"

namespace norvane::posix {

// `found` is the line as it was; fields the port does not care about stay as they were.
// False when the frame or speed is not possible on a termios line (e.g. 1.5 stop bits).
bool MakeLineSettings(const termios& found, const LineFrame& frame, uint32_t baudRate,
                      termios* settings);

}  // namespace norvane::posix
