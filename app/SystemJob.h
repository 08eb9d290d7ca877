// The real program's job, put together in one place for every front end: the system's serial
// ports and clock, the string table and the firmware image embedded in the program.
#pragma once

#include "engine/ProgrammerJob.h"

namespace norvane {

// The embedded image and a DeviceProgrammer on the system's ports, timed by the system clock.
JobEnvironment SystemJobEnvironment();

// The worker's entry in the real program: runs the job on the system's environment and
// returns its final result.
FlashResult ProgrammerThreadProc(JobStart* start);

}  // namespace norvane
