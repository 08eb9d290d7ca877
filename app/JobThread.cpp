#include "app/JobThread.h"

namespace norvane {

JobThread::~JobThread() {
    RequestAbort();
    Join();
}

void JobThread::Start(PortList ports, JobRunner runner) {
    abortFlag_ = 0;
    noNewDevice_ = 0;
    thread_ = std::thread([this, ports = std::move(ports), runner = std::move(runner)] {
        const JobContext context{job_, events_, abortFlag_, &noNewDevice_, ports};
        runner(context);
    });
}

void JobThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace norvane
