// norvane-console --station: every port at once, one job each on a thread of its own, all
// reporting through one mailbox. Each job searches only its port and programs the device that
// greets there. A port where nothing greets is idle, not a failure. With `continuous` the
// station never ends by itself: after each device its port waits for the next one, and a
// device programmed in this run is left alone (reported once as already programmed, never
// written to again). The first stop signal takes no new device and lets those in progress
// finish; a second aborts them as Esc does.
#pragma once

#include "app/console/ConsoleReport.h"
#include "app/console/DeviceLog.h"
#include "app/console/ReportStream.h"
#include "engine/ProgrammerJob.h"
#include "serial/PortList.h"

namespace norvane {

class MultiStrings;

struct StationSetup {
    PortList ports;
    bool continuous = false;
    ReportStyle style = ReportStyle::Lines;  // Terminal: the live table
};

// The station's outputs, shared with the single run.
struct ConsoleOutputs {
    ReportStream& out;
    ReportStream& err;
    DeviceLog& log;
};

// Runs the station until every port's job has ended (or, with `continuous`, until a stop
// signal); returns the exit status before a lost report is accounted for (README, "On a
// production line"): 0 when every device that greeted was programmed and at least one was
// (a continuous station: when none failed), the status of the first failing port in COM order
// otherwise, 13 when no device greeted anywhere. `outcome` receives the summary's text.
int RunStation(const StationSetup& setup, const JobEnvironment& environment,
               const MultiStrings& strings, ConsoleOutputs outputs, std::string* outcome);

}  // namespace norvane
