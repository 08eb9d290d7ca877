// The real-time transport: the device model behind the master side of a pseudo-terminal.
// The host opens the slave path like a serial port. One thread runs everything: a poll loop
// with timer deadlines that reads the host's bytes, runs the model's timers and paces the
// device's bytes at the host's line speed (read from the master's terminal settings).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "tools/simulator/DeviceModel.h"
#include "tools/simulator/LinePacer.h"
#include "tools/simulator/SimulatedBus.h"

namespace norvane::sim {

class PtyDevice final : public DeviceHost {
public:
    explicit PtyDevice(DeviceModel& model);
    ~PtyDevice() override;
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Creates the pseudo-terminal (raw, 9600 baud). False with `error` set on failure.
    // While no host has the slave side open, the device's bytes are lost, as on a line that
    // nobody listens to, and the loop waits in steps of 10 ms instead of spinning on the
    // master's hang-up state.
    bool Open(std::string* error);
    const std::string& SlavePath() const { return slavePath_; }

    // Paces the host's bytes too, like a real line: they are taken off the master no faster
    // than 10 bits per byte at the host's line speed, so the terminal's buffer fills and the
    // host's writes wait as they would for a UART. Off: they reach the device at once.
    void SetPaced(bool paced) { paced_ = paced; }
    // Called from the loop with "phase <name>" for each phase the device has entered since, in
    // order, and "speed <bits per second>" when it sees the host's line speed change.
    void SetTeller(std::function<void(const std::string&)> teller) { teller_ = std::move(teller); }

    // Puts another device on the line (a production bed's next one): from now on the host's
    // bytes go to `model`, which the caller powers on. The one before is taken off the line
    // and sends nothing more.
    void Attach(DeviceModel& model);
    // What ends Run with `exitAfterRun`, instead of the end of the device's run.
    void SetRunOver(std::function<bool()> over) { runOver_ = std::move(over); }

    // Powers the device on and runs until `stopFd` becomes readable, or, with `exitAfterRun`,
    // until the run is over, its last bytes are out and `lingerMicros` have passed.
    void Run(int stopFd, bool exitAfterRun, uint64_t lingerMicros);

    // DeviceHost
    void Send(const uint8_t* data, size_t length) override;
    void After(uint64_t delayMicros, std::function<void()> action) override;
    uint64_t NowMicros() override;
    uint32_t HostLineSpeed() override;
    uint32_t SpeedOfArrivingBytes() override { return speedSeen_; }
    void Disconnect() override;

private:
    void RunDueTimers();
    void FlushDueBytes();
    uint64_t NextWake() const;
    bool HostPresent() const;
    void TakeDueBytes();
    bool RunOver() const;
    void TellNewPhases();
    // Looks at the host's line speed before waiting: bytes that come during the wait were
    // sent at it, or at one the host set meanwhile without our seeing it.
    void LookAtHostSpeed();

    DeviceModel* model_;
    std::function<bool()> runOver_;
    int master_ = -1;
    std::string slavePath_;
    uint64_t origin_ = 0;
    uint64_t sequence_ = 0;
    std::map<std::pair<uint64_t, uint64_t>, std::function<void()>> timers_;
    std::deque<std::pair<uint64_t, uint8_t>> outgoing_;  // (due time, byte)
    WireTimer wire_;
    bool paced_ = false;
    LinePacer fromHost_;
    uint32_t lastHostSpeed_ = 0;
    uint64_t wakePiece_ = 1;  // bytes to wait for before the next paced read
    std::function<void(const std::string&)> teller_;
    uint32_t speedSeen_ = 0;
    size_t phasesTold_ = 0;
    bool hostWasPresent_ = false;
};

// Maps a termios speed constant to bits per second (0 when unknown).
uint32_t BaudFromTermios(unsigned speed);

}  // namespace norvane::sim
