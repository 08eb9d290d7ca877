// The object that talks to the device for one job: it owns the port bank, the tick wait and
// the status poster, and runs the device search and the two programming protocols on them.
// Used on the job's worker thread only; each open port has its own receiver thread filling
// its slot's ring.
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
#include "serial/SerialPort.h"

namespace norvane {

class MultiStrings;

class DeviceProgrammer final : public JobSteps {
public:
    // `createPort` makes the port objects, `clock` times every wait, `strings` gives the texts,
    // `ports` are searched.
    DeviceProgrammer(PortFactory createPort, Clock& clock, const MultiStrings& strings,
                     PortList ports = NumberedPorts(kPortCount));
    ~DeviceProgrammer() override = default;  // the bank closes slots 1 to 8, without pauses

    DeviceProgrammer(const DeviceProgrammer&) = delete;
    DeviceProgrammer& operator=(const DeviceProgrammer&) = delete;

    void SetNotifyWindow(NotifyWindow* window) override { status_.SetWindow(window); }
    FlashResult SearchDevice(const std::atomic<int>* abortFlag) override;
    FlashResult RunBlockCrcProtocol(ImageSpan image, const std::atomic<int>* abortFlag) override;
    FlashResult RunChecksumProtocol(ImageSpan image, const std::atomic<int>* abortFlag) override;
    std::string ResultDetail() const override { return status_.ResultDetail(); }

    // The ports, for a look at which slot is active and for releasing it.
    PortBank& Ports() { return ports_; }
    // Whether the OS device found greeted with '*' (see DeviceSearch::StarFlag).
    bool StarFlag() const { return search_.StarFlag(); }

private:
    PortBank ports_;
    StatusPoster status_;
    TickWait ticks_;
    EngineParts parts_;
    DeviceSearch search_;
};

}  // namespace norvane
