// The object that talks to the device for one job: it owns the port bank, the tick wait and
// the status poster, and runs the device search and the two programming protocols on them.
// Used on the job's thread only; each open port has its own receiver thread filling its
// slot's ring.
#pragma once

#include <atomic>

#include "engine/BlockCrcProtocol.h"
#include "engine/ChecksumProtocol.h"
#include "engine/DeviceSearch.h"
#include "engine/JobSteps.h"
#include "engine/PortBank.h"
#include "engine/StatusPoster.h"
#include "engine/TickWait.h"
#include "platform/Clock.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"

namespace norvane {

class MultiStrings;

class DeviceProgrammer final : public JobSteps {
public:
    // `createPort` makes the port objects for `ports`, `clock` times every wait, `strings`
    // gives the texts.
    DeviceProgrammer(PortFactory createPort, PortList ports, Clock& clock,
                     const MultiStrings& strings);
    ~DeviceProgrammer() override = default;  // the bank closes every slot, without pauses

    DeviceProgrammer(const DeviceProgrammer&) = delete;
    DeviceProgrammer& operator=(const DeviceProgrammer&) = delete;

    void SetEventSink(JobEventSink* sink, JobId job) override { status_.SetSink(sink, job); }
    SearchOutcome SearchDevice(const std::atomic<int>* abortFlag,
                               const std::atomic<int>* noNewDevice = nullptr) override;
    StepOutcome RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                    const std::atomic<int>* abortFlag) override;
    StepOutcome RunChecksumProtocol(ImageSpan image, const std::atomic<int>* abortFlag) override;

    // The ports, for a look at which slot is active and for releasing it.
    PortBank& Ports() { return ports_; }

private:
    PortBank ports_;
    StatusPoster status_;
    TickWait ticks_;
    EngineParts parts_;
};

}  // namespace norvane
