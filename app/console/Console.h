// norvane-console from its command line to its exit status: the window's job, texts and
// statuses, reported on the terminal instead of in a window, with nobody to press OK.
#pragma once

#include <string>
#include <vector>

#include "engine/ProgrammerJob.h"

namespace norvane {

// Runs the program with argv[1..] = `args` and the job's image and ports from `environment`;
// returns the exit status (README, "Exit status"; 64 for a refused command line).
int RunConsole(const std::vector<std::string>& args, JobEnvironment environment);

}  // namespace norvane
