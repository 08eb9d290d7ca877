// What the Win32 back end of CommPort offers beyond the shared class.
#pragma once

#include <cstdint>
#include <string>

#include "serial/CommPort.h"

namespace norvane {

// Dispatches every message waiting for the calling thread, then returns. StopReceiver runs it
// while it waits, so the notifications and the hidden windows' messages of the thread that
// owns the ports never pile up.
void PumpMessages();

// Shows the port's last error with string `resourceId` of the program's own string table as
// the heading (empty when there is none).
void ShowLastError(CommPort& port, unsigned resourceId);

// Name of the named event of the port made while `instance` ports were alive, itself
// included: "_CommPortEventName_00001" for the first.
std::string PortEventName(int instance);

// The device-control text BuildCommDCB takes for `baud` and a frame such as "8N1":
// "baud=9600 parity=N data=8 stop=1".
std::string DeviceControlText(uint32_t baud, const char* frame);

}  // namespace norvane
