#include "app/SystemJob.h"

#include "engine/DeviceProgrammer.h"
#include "platform/Resources.h"
#include "serial/CommPort.h"
#include "strings/MultiStrings.h"

namespace norvane {

JobEnvironment SystemJobEnvironment() {
    return {
        [] { return LoadImage(); },
        [](const PortList& ports) -> std::unique_ptr<JobSteps> {
            return std::make_unique<DeviceProgrammer>(CreateCommPort, ports, SystemClock(),
                                                      TheStrings());
        },
        &TheStrings(),
    };
}

FlashResult ProgrammerThreadProc(const JobContext& context) {
    return RunProgrammingJob(context, SystemJobEnvironment());
}

}  // namespace norvane
