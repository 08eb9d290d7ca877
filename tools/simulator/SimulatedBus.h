// The in-process transport: eight serial lines COM1..COM8 in virtual time. Each line is
// absent (Open fails), present but idle (opens, nothing answers) or wired to a DeviceModel.
// Ports handed out by the bus's PortFactory carry bytes in both directions at 10 bits per byte
// at the port's current line speed; everything runs on the caller's thread, inside
// VirtualClock::Sleep / AdvanceToMicros.
//
//   VirtualClock clock;
//   sim::SimulatedBus bus(clock);            // COM1..COM8 all absent
//   bus.SetIdle(1);                          // COM1 opens but stays quiet
//   sim::DeviceConfig tv;  tv.kind = "TV";  tv.serial = "123456789";
//   sim::DeviceModel& device = bus.Attach(3, tv);  // greeting from now on
//   PortFactory factory = bus.Factory();     // hand to the engine with `clock`
//   ... run the engine ...
//   device.Report().BytesOf(sim::Phase::Region0), bus.MaxOpenCount(), bus.Events() ...
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/InProcessPort.h"
#include "tools/simulator/DeviceModel.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::sim {

constexpr int kBusPorts = 8;

// A run of bytes reserved on a line: byte i of it arrives at ArrivalOf(i).
struct WireSlot {
    uint64_t burstStart = 0;
    uint64_t countBase = 0;
    uint32_t speed = 9600;
    uint64_t ArrivalOf(uint64_t i) const {
        return burstStart + ((countBase + i + 1) * 10'000'000 + speed - 1) / speed;
    }
};

// Times bytes on one direction of a line: a byte leaves when the line is free and takes
// 10 bits at `speed`. Within an unbroken burst the arrival times are exact (no rounding drift).
class WireTimer {
public:
    // Reserves `count` bytes handed to the line at `now`.
    WireSlot Reserve(uint64_t now, uint32_t speed, uint64_t count);
    // Arrival time (microseconds) of a byte handed to the line at `now`.
    uint64_t Next(uint64_t now, uint32_t speed) { return Reserve(now, speed, 1).ArrivalOf(0); }
    uint64_t BusyUntil() const { return lastEnd_; }

private:
    uint64_t burstStart_ = 0;
    uint64_t burstCount_ = 0;
    uint32_t burstSpeed_ = 0;
    uint64_t lastEnd_ = 0;
};

struct PortEvent {
    enum Kind { Opened, Closed, OpenFailed };
    uint64_t atMicros = 0;
    int port = 0;  // 1..8, 0 for a name that is no COM1..COM8
    Kind kind = Opened;
};

// A write the host made on a line, as the line saw it.
struct HostWrite {
    uint64_t atMicros = 0;
    int port = 0;
    uint32_t length = 0;
    bool wait = false;
    uint64_t lineBusyMicros = 0;  // how long the line was still busy with earlier bytes
};

struct BusState;

class SimulatedBus {
public:
    explicit SimulatedBus(VirtualClock& clock);
    ~SimulatedBus();
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // Every line starts absent.
    void SetAbsent(int port);
    void SetIdle(int port);
    // Wires a new device to COM`port` (1..8) and, unless told otherwise, powers it on now, so
    // it starts greeting whether or not the port is open (bytes to a closed port are lost).
    DeviceModel& Attach(int port, DeviceConfig config, FaultPlan faults = {}, bool powerOn = true);
    DeviceModel* Device(int port);
    // Puts raw bytes on a present line towards the host, as if something other than a device
    // sent them (noise on an idle line, a fragment of a record). Paced like device bytes.
    void SendRaw(int port, const std::string& bytes);

    PortFactory Factory();

    // The port bank as the bus saw it.
    int OpenCount() const;
    int MaxOpenCount() const;
    bool IsOpen(int port) const;
    uint32_t HostLineSpeed(int port) const;  // 0 while closed
    bool Disconnected(int port) const;
    const std::vector<PortEvent>& Events() const;
    const std::vector<HostWrite>& Writes() const;
    int PortsCreated() const;

    VirtualClock& Clock();
    // The clock the host's side of every port sleeps on while a waiting write or a change of
    // speed waits for its line, as a back end does: the bus's own unless set (a test puts one
    // over it whose sleeps last whole timer ticks).
    void SetHostClock(norvane::Clock& clock);

private:
    std::shared_ptr<BusState> state_;
};

}  // namespace norvane::sim
