// A whole programming job from a test: image in, final result out, with the ports and the
// clock the test chooses (simulated in virtual time, or the real serial code over
// pseudo-terminals).
#pragma once

#include <memory>

#include "engine/DeviceProgrammer.h"
#include "engine/ProgrammerJob.h"
#include "strings/MultiStrings.h"
#include "tests/support/ReferenceWire.h"

namespace norvane::test {

inline FlashResult RunWholeJob(const Bytes& image, PortFactory ports, Clock& clock,
                               const MultiStrings& strings, JobEventSink& events,
                               std::atomic<int>& abortFlag) {
    JobEnvironment environment{[&image] { return ImageSpan(image); },
                               [&](const PortList& list) -> std::unique_ptr<JobSteps> {
                                   return std::make_unique<DeviceProgrammer>(ports, list, clock,
                                                                             strings);
                               }};
    return RunProgrammingJob({0, events, abortFlag, nullptr, NumberedComPorts(8)}, environment);
}

}  // namespace norvane::test
