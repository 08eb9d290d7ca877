// One programming job on a thread of its own, with the flags that stop it: the window and the
// console run their job on one, a station one per port. Its events go to the sink it was given.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "engine/JobEvents.h"
#include "engine/ProgrammerJob.h"
#include "serial/PortList.h"

namespace norvane {

// What runs on the thread: the whole job, from its context to its final result.
using JobRunner = std::function<FlashResult(const JobContext&)>;

class JobThread {
public:
    // The job's events are marked with `job` and go to `events`, which must outlive the job.
    JobThread(JobId job, JobEventSink& events) : job_(job), events_(events) {}
    ~JobThread();  // a job still running is asked to stop, as by Esc, and waited for
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Clears the flags and starts `runner` on `ports`; once per JobThread.
    void Start(PortList ports, JobRunner runner);

    // From any thread. The job stops at its next tick, as after Esc.
    void RequestAbort() { abortFlag_ = 1; }
    // From any thread. A search that has found nothing yet ends; a device found is programmed
    // to its end.
    void RequestNoNewDevice() { noNewDevice_ = 1; }
    int AbortFlag() const { return abortFlag_.load(); }

    JobId Id() const { return job_; }
    // Waits for the thread to end; safe to call more than once.
    void Join();

private:
    const JobId job_;
    JobEventSink& events_;
    std::atomic<int> abortFlag_{0};
    std::atomic<int> noNewDevice_{0};
    std::thread thread_;
};

}  // namespace norvane
