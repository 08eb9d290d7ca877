// norvane-console from its command line to its exit status: the window's job, texts and
// statuses, reported on the terminal instead of in a window, with nobody to press OK; or, with
// --station, a job on every port at once.
#pragma once

#include <string>
#include <vector>

#include "app/AboutBox.h"
#include "engine/ProgrammerJob.h"

namespace norvane {

// Runs the program with argv[1..] = `args`, the job's image and ports from `environment` and
// the program's version information from `version`; returns the exit status (README, "Exit
// status"; 64 for a refused command line).
int RunConsole(const std::vector<std::string>& args, JobEnvironment environment,
               const VersionInfo& version = VersionInfo::OfProgram());

}  // namespace norvane
