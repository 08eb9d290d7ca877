// Command line of norvane-devsim and the text report it writes with --log.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/simulator/DeviceModel.h"
#include "tools/simulator/DeviceSequence.h"

namespace norvane::sim {

struct DevsimOptions {
    DeviceConfig config;
    FaultPlan faults;
    std::string logPath;
    bool exitAfterRun = false;
    bool pace = false;    // the host's bytes paced at its line speed too
    bool phases = false;  // "phase <name>", "speed <n>" on stdout as they come
    SequenceOptions sequence;
    uint64_t lingerMicros = 500'000;
    bool help = false;
};

// Parses argv[1..]. False with `error` set on a bad option.
bool ParseDevsimOptions(const std::vector<std::string>& args, DevsimOptions* options,
                        std::string* error);
const char* DevsimUsage();

// The report: one item per line.
//   final <phase>
//   error <code as 0xNNNN> | error none
//   greetings <n>
//   lengths lower=<n> upper=<n> region0=<n> region1=<n>
//   blocks-acknowledged <n>
//   phase <name> at=<us> speed=<entry speed> speeds=<s1,s2..> count=<n> bytes=<hex>
//         first=<us of its first byte> last=<us of its last byte>
//   sent <us> <phase> <record, \n and non-printables escaped as \xNN> [garbled]
//   received <count> <hex>
void WriteDeviceReport(const DeviceModel& model, std::ostream& out);

std::string HexOf(const std::vector<uint8_t>& bytes);

}  // namespace norvane::sim
