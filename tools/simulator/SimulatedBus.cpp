#include "tools/simulator/SimulatedBus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "serial/WireTime.h"

namespace norvane::sim {

WireSlot WireTimer::Reserve(uint64_t now, uint32_t speed, uint64_t count) {
    if (speed == 0) {
        speed = kBaudGreeting;
    }
    // A byte handed over exactly at the end of the last one keeps the burst going, so the
    // timing never drifts by rounding.
    if (now > lastEnd_ || speed != burstSpeed_) {
        burstStart_ = std::max(now, lastEnd_);
        burstCount_ = 0;
        burstSpeed_ = speed;
    }
    const WireSlot slot{burstStart_, burstCount_, speed};
    burstCount_ += count;
    if (count != 0) {
        lastEnd_ = slot.ArrivalOf(count - 1);
    }
    return slot;
}

class SimulatedPort;

enum class LineKind { Absent, Idle, Device };

struct Line;

class LineHost final : public DeviceHost {
public:
    LineHost(BusState& bus, Line& line) : bus_(bus), line_(line) {}
    void Send(const uint8_t* data, size_t length) override;
    void After(uint64_t delayMicros, std::function<void()> action) override;
    uint64_t NowMicros() override;
    uint32_t HostLineSpeed() override;
    void Disconnect() override;

private:
    BusState& bus_;
    Line& line_;
};

struct Line {
    int number = 0;
    LineKind kind = LineKind::Absent;
    std::unique_ptr<DeviceModel> device;
    std::unique_ptr<LineHost> host;
    SimulatedPort* port = nullptr;  // the port that has it open
    bool disconnected = false;
    WireTimer toHost;
};

struct BusState : std::enable_shared_from_this<BusState> {
    explicit BusState(VirtualClock& c) : clock(c), hostClock(&c) {}
    VirtualClock& clock;
    Clock* hostClock;  // what the host's side sleeps on while it waits for a line
    std::array<Line, kBusPorts> lines;
    std::vector<PortEvent> events;
    std::vector<HostWrite> writes;
    int openCount = 0;
    int maxOpenCount = 0;
    int portsCreated = 0;
};

class SimulatedPort final : public InProcessPort {
public:
    explicit SimulatedPort(std::shared_ptr<BusState> bus) : bus_(std::move(bus)) {}
    ~SimulatedPort() override { Close(); }

    bool Open(const char* portName, uint32_t baudRate, const char* frame, int mode) override;
    bool Close() override;
    bool Write(const void* data, uint32_t length, bool wait) override;
    bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                       const std::atomic<uint32_t>* readIndex) override;
    bool SetLineSpeed(uint32_t baudRate) override;
    bool TransferInProgress() override;
    // A line dropped by a fault hangs up like a pseudo-terminal whose device has gone.
    bool LineGone() const override { return line_ != nullptr && line_->disconnected; }

    uint32_t Speed() const { return speed_; }
    // A byte from the device arriving now.
    void Deliver(uint8_t byte);

private:
    // Bytes on their way to the device. One clock callback is pending at a time, for the next
    // byte's arrival, so a long stream costs no more memory than its bytes.
    struct TxSegment {
        std::vector<uint8_t> bytes;
        size_t next = 0;
        WireSlot slot;
    };
    void SchedulePump();
    void Pump();

    std::deque<TxSegment> tx_;
    LineSchedule schedule_;  // the host's account of the line, as a back end keeps it
    bool pumpPending_ = false;
    std::shared_ptr<BusState> bus_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    Line* line_ = nullptr;
    uint64_t session_ = 0;  // bumped at every Close: bytes of an earlier session are dropped
    uint32_t openBaud_ = 0;
    uint32_t speed_ = 0;
    WireTimer toDevice_;
    uint64_t transferEnd_ = 0;
};

void LineHost::Send(const uint8_t* data, size_t length) {
    if (line_.disconnected) {
        return;
    }
    const uint32_t speed = line_.port ? line_.port->Speed() : line_.device->DeviceLineSpeed();
    const uint64_t now = bus_.clock.NowMicros();
    for (size_t i = 0; i < length; ++i) {
        const uint64_t at = line_.toHost.Next(now, speed);
        const uint8_t byte = data[i];
        Line* line = &line_;
        std::weak_ptr<BusState> bus = bus_.weak_from_this();
        bus_.clock.AtMicros(at, [bus, line, byte] {
            if (bus.expired()) {
                return;
            }
            if (!line->disconnected && line->port != nullptr) {
                line->port->Deliver(byte);
            }
        });
    }
}

void LineHost::After(uint64_t delayMicros, std::function<void()> action) {
    // The model guards its own lifetime; the line lives as long as the bus state, which the
    // clock does not own, so the action is also dropped once the device is gone.
    DeviceModel* device = line_.device.get();
    Line* line = &line_;
    std::weak_ptr<BusState> bus = bus_.weak_from_this();
    bus_.clock.AfterMicros(delayMicros, [bus, line, device, action = std::move(action)] {
        if (!bus.expired() && line->device.get() == device) {
            action();
        }
    });
}

uint64_t LineHost::NowMicros() {
    return bus_.clock.NowMicros();
}

uint32_t LineHost::HostLineSpeed() {
    return line_.port ? line_.port->Speed() : 0;
}

void LineHost::Disconnect() {
    line_.disconnected = true;
}

bool SimulatedPort::Open(const char* portName, uint32_t baudRate, const char* /*frame*/,
                         int /*mode*/) {
    if (line_ != nullptr) {
        return false;
    }
    int number = 0;
    if (portName != nullptr && std::strncmp(portName, "COM", 3) == 0 && portName[3] >= '1' &&
        portName[3] <= '8' && portName[4] == '\0') {
        number = portName[3] - '0';
    }
    const uint64_t now = bus_->clock.NowMicros();
    Line* line = number ? &bus_->lines[number - 1] : nullptr;
    if (line == nullptr || line->kind == LineKind::Absent || line->port != nullptr ||
        baudRate == 0) {
        bus_->events.push_back({now, number, PortEvent::OpenFailed});
        return false;
    }
    line_ = line;
    line->port = this;
    openBaud_ = baudRate;
    speed_ = baudRate;
    schedule_.Reset(baudRate, LineFrame{});
    toDevice_ = WireTimer{};
    transferEnd_ = 0;
    bus_->events.push_back({now, number, PortEvent::Opened});
    bus_->maxOpenCount = std::max(bus_->maxOpenCount, ++bus_->openCount);
    return true;
}

bool SimulatedPort::Close() {
    if (line_ == nullptr) {
        return true;
    }
    StopReceiver();
    bus_->events.push_back({bus_->clock.NowMicros(), line_->number, PortEvent::Closed});
    --bus_->openCount;
    line_->port = nullptr;
    line_ = nullptr;
    ++session_;  // bytes still on their way are dropped
    tx_.clear();
    pumpPending_ = false;
    speed_ = 0;
    transferEnd_ = 0;
    return true;
}

bool SimulatedPort::Write(const void* data, uint32_t length, bool wait) {
    if (line_ == nullptr) {
        return false;
    }
    VirtualClock& clock = bus_->clock;
    const uint64_t now = clock.NowMicros();
    if (!wait && now < transferEnd_) {
        return false;  // an earlier background write is still going out
    }
    const uint64_t busyUntil = toDevice_.BusyUntil();
    bus_->writes.push_back(
        {now, line_->number, length, wait, busyUntil > now ? busyUntil - now : 0});
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint64_t last = now;
    if (length != 0) {
        TxSegment segment;
        segment.bytes.assign(bytes, bytes + length);
        segment.slot = toDevice_.Reserve(now, speed_, length);
        last = segment.slot.ArrivalOf(length - 1);
        tx_.push_back(std::move(segment));
        SchedulePump();
    }
    schedule_.Add(now, length);
    if (!wait) {
        transferEnd_ = last;
        return true;
    }
    // As a back end waits, on the host's clock; the bus takes every byte at once, as a
    // pseudo-terminal does, and counts none as queued.
    const uint64_t deadline = now + uint64_t{TransferTimeLimitMs(length, openBaud_)} * 1000;
    return AwaitLine(
        schedule_, deadline, schedule_.FifoMicros(), [] { return 0u; }, *bus_->hostClock);
}

void SimulatedPort::SchedulePump() {
    if (pumpPending_ || tx_.empty()) {
        return;
    }
    const TxSegment& segment = tx_.front();
    pumpPending_ = true;
    std::weak_ptr<int> alive = alive_;
    const uint64_t session = session_;
    bus_->clock.AtMicros(segment.slot.ArrivalOf(segment.next), [this, alive, session] {
        if (alive.expired() || session != session_) {
            return;
        }
        pumpPending_ = false;
        Pump();
    });
}

void SimulatedPort::Pump() {
    const uint64_t now = bus_->clock.NowMicros();
    while (!tx_.empty() && line_ != nullptr) {
        TxSegment& segment = tx_.front();
        if (segment.slot.ArrivalOf(segment.next) > now) {
            break;
        }
        const uint8_t byte = segment.bytes[segment.next++];
        if (segment.next == segment.bytes.size()) {
            tx_.pop_front();
        }
        if (!line_->disconnected && line_->device != nullptr) {
            line_->device->Receive(&byte, 1);
        }
    }
    SchedulePump();
}

bool SimulatedPort::StartReceiver(uint8_t* ring, uint32_t ringSize,
                                  std::atomic<uint32_t>* writeIndex,
                                  const std::atomic<uint32_t>* readIndex) {
    return line_ != nullptr && InProcessPort::StartReceiver(ring, ringSize, writeIndex, readIndex);
}

bool SimulatedPort::SetLineSpeed(uint32_t baudRate) {
    if (line_ == nullptr || baudRate == 0) {
        return false;
    }
    // Like a back end, the bytes handed over leave at the old speed first.
    AwaitLine(
        schedule_, LineLeftDeadline(schedule_, bus_->clock.NowMicros()), 0, [] { return 0u; },
        *bus_->hostClock);
    speed_ = baudRate;
    schedule_.SetSpeed(baudRate);
    return true;
}

bool SimulatedPort::TransferInProgress() {
    return line_ != nullptr && bus_->clock.NowMicros() < transferEnd_;
}

void SimulatedPort::Deliver(uint8_t byte) {
    Arrive(&byte, 1);  // lost when no receiver runs
}

SimulatedBus::SimulatedBus(VirtualClock& clock) : state_(std::make_shared<BusState>(clock)) {
    for (int i = 0; i < kBusPorts; ++i) {
        state_->lines[i].number = i + 1;
    }
}

SimulatedBus::~SimulatedBus() {
    // Ports may outlive the bus; they keep the state, but the devices go now.
    for (Line& line : state_->lines) {
        line.device.reset();
        line.host.reset();
    }
}

void SimulatedBus::SetAbsent(int port) {
    Line& line = state_->lines.at(port - 1);
    line.kind = LineKind::Absent;
    line.device.reset();
    line.host.reset();
}

void SimulatedBus::SetIdle(int port) {
    Line& line = state_->lines.at(port - 1);
    line.kind = LineKind::Idle;
    line.device.reset();
    line.host.reset();
}

DeviceModel& SimulatedBus::Attach(int port, DeviceConfig config, FaultPlan faults, bool powerOn) {
    Line& line = state_->lines.at(port - 1);
    line.kind = LineKind::Device;
    line.disconnected = false;
    line.host = std::make_unique<LineHost>(*state_, line);
    line.device = std::make_unique<DeviceModel>(std::move(config), std::move(faults));
    line.device->SetHost(line.host.get());
    if (powerOn) {
        line.device->PowerOn();
    }
    return *line.device;
}

DeviceModel* SimulatedBus::Device(int port) {
    return state_->lines.at(port - 1).device.get();
}

void SimulatedBus::SendRaw(int port, const std::string& bytes) {
    Line& line = state_->lines.at(port - 1);
    if (line.kind == LineKind::Absent) {
        return;
    }
    VirtualClock& clock = state_->clock;
    const uint32_t speed = line.port ? line.port->Speed() : kBaudGreeting;
    std::weak_ptr<BusState> bus = state_;
    Line* target = &line;
    for (char c : bytes) {
        const uint8_t byte = static_cast<uint8_t>(c);
        clock.AtMicros(line.toHost.Next(clock.NowMicros(), speed), [bus, target, byte] {
            if (!bus.expired() && !target->disconnected && target->port != nullptr) {
                target->port->Deliver(byte);
            }
        });
    }
}

PortFactory SimulatedBus::Factory() {
    std::shared_ptr<BusState> state = state_;
    return [state]() -> std::unique_ptr<SerialPort> {
        ++state->portsCreated;
        return std::make_unique<SimulatedPort>(state);
    };
}

int SimulatedBus::OpenCount() const {
    return state_->openCount;
}

int SimulatedBus::MaxOpenCount() const {
    return state_->maxOpenCount;
}

bool SimulatedBus::IsOpen(int port) const {
    return state_->lines.at(port - 1).port != nullptr;
}

uint32_t SimulatedBus::HostLineSpeed(int port) const {
    const Line& line = state_->lines.at(port - 1);
    return line.port ? line.port->Speed() : 0;
}

bool SimulatedBus::Disconnected(int port) const {
    return state_->lines.at(port - 1).disconnected;
}

const std::vector<PortEvent>& SimulatedBus::Events() const {
    return state_->events;
}

const std::vector<HostWrite>& SimulatedBus::Writes() const {
    return state_->writes;
}

int SimulatedBus::PortsCreated() const {
    return state_->portsCreated;
}

VirtualClock& SimulatedBus::Clock() {
    return state_->clock;
}

void SimulatedBus::SetHostClock(norvane::Clock& clock) {
    state_->hostClock = &clock;
}

}  // namespace norvane::sim
