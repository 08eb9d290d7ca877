#include "tools/simulator/DeviceSequence.h"

#include "tools/simulator/DevsimOptions.h"

namespace norvane::sim {
namespace {

// How often the bed looks whether the device on it has finished.
constexpr uint64_t kWatchMicros = 10'000;

}  // namespace

std::string NextSerial(const std::string& serial) {
    const size_t last = serial.find_last_of("0123456789");
    if (last == std::string::npos) {
        return serial + "2";
    }
    std::string next = serial;
    for (size_t at = last;; --at) {
        if (next[at] != '9') {
            ++next[at];
            return next;
        }
        next[at] = '0';
        if (at == 0 || next[at - 1] < '0' || next[at - 1] > '9') {
            next.insert(next.begin() + static_cast<std::ptrdiff_t>(at), '1');  // one digit more
            return next;
        }
    }
}

DeviceSequence::DeviceSequence(DeviceModel& first, SequenceOptions options, PtyDevice& line)
    : first_(first), options_(options), line_(line) {
    if (options_.devices > 1) {
        line_.SetRunOver([this] { return Finished(); });
        line_.After(kWatchMicros, [this] { Watch(); });
    }
}

DeviceModel& DeviceSequence::Current() const {
    return next_.empty() ? first_ : *next_.back();
}

bool DeviceSequence::Finished() const {
    return next_.size() + 1 >= options_.devices && Current().Finished();
}

void DeviceSequence::Watch() {
    if (Finished()) {
        return;
    }
    if (!Current().Finished()) {
        line_.After(kWatchMicros, [this] { Watch(); });
        return;
    }
    // Its run is over: the device stays on the bed, greeting on if it does, until the swap.
    if (options_.swapGreetingMicros) {
        DeviceConfig config = Current().Config();
        config.firstGreetingMicros = 0;
        config.greetingPeriodMicros = *options_.swapGreetingMicros;
        onBed_.push_back(std::make_unique<DeviceModel>(config));
        line_.Attach(*onBed_.back());
        onBed_.back()->PowerOn();
    }
    line_.After(options_.swapMicros, [this] { PutNextOn(); });
}

void DeviceSequence::PutNextOn() {
    DeviceConfig config = Current().Config();
    config.serial = NextSerial(config.serial);
    next_.push_back(std::make_unique<DeviceModel>(config, first_.Faults()));
    line_.Attach(*next_.back());
    next_.back()->PowerOn();
    line_.After(kWatchMicros, [this] { Watch(); });
}

void DeviceSequence::WriteReport(std::ostream& out) const {
    if (options_.devices <= 1) {
        WriteDeviceReport(first_, out);  // one device: the report as it always was
        return;
    }
    for (size_t i = 0; i <= next_.size(); ++i) {
        const DeviceModel& device = i == 0 ? first_ : *next_[i - 1];
        out << "device " << i + 1 << " serial " << device.Config().serial << '\n';
        WriteDeviceReport(device, out);
    }
    for (size_t i = 0; i < onBed_.size(); ++i) {
        const DeviceReport& report = onBed_[i]->Report();
        out << "left-on-bed " << i + 1 << " serial " << onBed_[i]->Config().serial << " greetings "
            << report.greetings << " received " << report.received.size() << '\n';
    }
    out.flush();
}

}  // namespace norvane::sim
