// One programming job: from the embedded image to one final FlashResult, on a worker thread
// of its own. The job posts the image's version text, lets the DeviceProgrammer search for a
// device, runs the protocol that suits both, and posts WM_PROG_DONE last of all.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "engine/Image.h"
#include "engine/JobSteps.h"
#include "engine/Results.h"

namespace norvane {

class NotifyWindow;

// Handed to the worker by the window that starts it; the job takes ownership.
struct JobStart {
    NotifyWindow* notifyWindow = nullptr;
    std::atomic<int>* abortFlag = nullptr;  // nonzero asks the job to stop
};

// Where the job gets its image and its programmer from.
struct JobEnvironment {
    std::function<ImageSpan()> loadImage;
    std::function<std::unique_ptr<JobSteps>()> createProgrammer;
};

// Runs the job on `environment` and returns its final result. The real program's environment
// and thread entry are put together in app/SystemJob.h.
FlashResult RunProgrammingJob(JobStart* start, const JobEnvironment& environment);

}  // namespace norvane
