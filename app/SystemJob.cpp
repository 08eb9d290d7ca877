#include "app/SystemJob.h"

#include "engine/DeviceProgrammer.h"
#include "platform/Resources.h"
#include "serial/CommPort.h"
#include "serial/PortList.h"
#include "strings/MultiStrings.h"

namespace norvane {

JobEnvironment SystemJobEnvironment() {
    return {
        [] { return LoadImage(); },
        []() -> std::unique_ptr<JobSteps> {
            return std::make_unique<DeviceProgrammer>(CreateCommPort, SystemClock(), TheStrings(),
                                                      StandardPorts());
        },
    };
}

FlashResult ProgrammerThreadProc(JobStart* start) {
    return RunProgrammingJob(start, SystemJobEnvironment());
}

}  // namespace norvane
