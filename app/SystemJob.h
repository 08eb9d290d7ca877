// The real program's job, put together in one place for every front end: the system's serial
// ports and clock, the string table and the firmware image embedded in the program.
#pragma once

#include "engine/ProgrammerJob.h"

namespace norvane {

// The embedded image and a DeviceProgrammer on the system's ports, timed by the system clock.
JobEnvironment SystemJobEnvironment();

// The job's entry in the real program: runs it on the system's environment and returns its
// final result.
FlashResult ProgrammerThreadProc(const JobContext& context);

}  // namespace norvane
