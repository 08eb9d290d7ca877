// One programming job: from the embedded image to one final FlashResult, on a thread of its
// own. The job posts the image's version text, lets the DeviceProgrammer search for a device
// on its ports, runs the protocol that suits both, and posts its Done event last of all.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "engine/Image.h"
#include "engine/JobEvents.h"
#include "engine/JobSteps.h"
#include "engine/Results.h"
#include "serial/PortList.h"

namespace norvane {

// What a job is given by whoever runs it: where its events go, what stops it and the ports it
// listens on. The caller keeps all of it alive until the job has returned.
struct JobContext {
    JobId job = 0;
    JobEventSink& events;
    const std::atomic<int>& abortFlag;  // nonzero asks the job to stop, as Esc does
    // Nonzero ends a search that has found nothing yet; a device found is programmed to its end.
    const std::atomic<int>* noNewDevice = nullptr;
    PortList ports;
    // Asked on the job's thread with the device the search found, before any byte is sent to
    // it: false leaves the device alone and ends the job with RC_DECLINED (a station's device
    // already programmed in this run). Unset: every device found is taken.
    std::function<bool(const JobEvent::Found&)> acceptDevice = {};
};

class MultiStrings;

// Where the job gets its image, its programmer (on the job's ports) and the texts of its own
// second texts from (without texts, the job's own results go without one).
struct JobEnvironment {
    std::function<ImageSpan()> loadImage;
    std::function<std::unique_ptr<JobSteps>(const PortList& ports)> createProgrammer;
    const MultiStrings* strings = nullptr;
};

// Runs the job on `environment` and returns its final result. The real program's environment
// is put together in app/SystemJob.h.
FlashResult RunProgrammingJob(const JobContext& context, const JobEnvironment& environment);

}  // namespace norvane
