// A production bed on one line: one device after the other, each with the next serial number.
// Once a device's run is over the operator takes it off and puts the next one on, which takes
// a pause; meanwhile the device just programmed may go on greeting (it is powered until it is
// taken off). A station must leave such a device alone: every byte it receives is recorded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/simulator/DeviceModel.h"
#include "tools/simulator/PtyDevice.h"

namespace norvane::sim {

struct SequenceOptions {
    uint32_t devices = 1;             // how many devices, one after the other
    uint64_t swapMicros = 1'000'000;  // from one device's end of run to the next one's power-on
    std::optional<uint64_t> swapGreetingMicros;  // the last device greets on with this period
};

class DeviceSequence {
public:
    // The first device is `first` (already attached to `line`, powered on by its Run); the
    // others are made from its configuration and faults, each with the next serial number.
    DeviceSequence(DeviceModel& first, SequenceOptions options, PtyDevice& line);
    DeviceSequence(const DeviceSequence&) = delete;
    DeviceSequence& operator=(const DeviceSequence&) = delete;

    // True once the last device's run is over.
    bool Finished() const;
    // One section per device ("device <n> serial <text>" and its report), and one line per
    // device left greeting during a swap ("left-on-bed <n> serial <text> greetings <g>
    // received <count>").
    void WriteReport(std::ostream& out) const;

private:
    void Watch();
    void PutNextOn();
    DeviceModel& Current() const;

    DeviceModel& first_;
    SequenceOptions options_;
    PtyDevice& line_;
    std::vector<std::unique_ptr<DeviceModel>> next_;   // devices 2..n, in order
    std::vector<std::unique_ptr<DeviceModel>> onBed_;  // each greeting on during its swap
};

// "1234567" -> "1234568", "A099" -> "A100", "X9" -> "X10"; a serial without digits gets "2".
std::string NextSerial(const std::string& serial);

}  // namespace norvane::sim
