// Ports whose device side a test scripts by hand: the test decides which COM ports exist,
// delivers bytes into a port's ring at chosen virtual moments, and reads back every write
// with its time, wait flag and line speed.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/InProcessPort.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::test {

struct WriteRecord {
    std::vector<uint8_t> bytes;
    bool wait = false;
    uint64_t atMillis = 0;
    uint32_t lineSpeed = 0;
};

class ScriptedBus;

class ScriptedPort final : public InProcessPort {
public:
    ScriptedPort(ScriptedBus& bus, VirtualClock& clock) : bus_(bus), clock_(clock) {}
    ~ScriptedPort() override;

    bool Open(const char* portName, uint32_t baudRate, const char* frame, int mode) override;
    bool Close() override;
    bool Write(const void* data, uint32_t length, bool wait) override;
    bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                       const std::atomic<uint32_t>* readIndex) override;
    bool SetLineSpeed(uint32_t baudRate) override {
        lineSpeed = baudRate;
        return true;
    }
    bool TransferInProgress() override { return clock_.NowMicros() < transferEndMicros; }

    // Stores bytes into the ring as the receiver would (nothing when no receiver runs).
    void Deliver(const std::string& bytes);

    std::string name;
    uint32_t openSpeed = 0;
    uint32_t lineSpeed = 0;
    std::string frame;
    bool open = false;
    std::vector<WriteRecord> writes;
    // A write without waiting stays in transit for this long.
    uint64_t streamMicros = 0;
    uint64_t transferEndMicros = 0;

private:
    ScriptedBus& bus_;
    VirtualClock& clock_;
};

class ScriptedBus {
public:
    explicit ScriptedBus(VirtualClock& clock) : clock_(clock) {}

    // Forgets every port, delivery and write, for a fresh run.
    void Reset() {
        present_.clear();
        queued_.clear();
        open_.clear();
        writes_.clear();
        log.clear();
        onWrite = nullptr;
        refuseWrite = nullptr;
    }
    // Ports that can be opened; all others fail to open.
    void Present(int n) { present_[n] = true; }
    PortFactory Factory() {
        return [this] { return std::make_unique<ScriptedPort>(*this, clock_); };
    }
    // The open port named COMn, or nullptr.
    ScriptedPort* Port(int n) {
        auto it = open_.find("COM" + std::to_string(n));
        return it == open_.end() ? nullptr : it->second;
    }
    // Delivers `bytes` to COMn's ring at virtual time `atMillis`.
    void DeliverAt(int n, uint64_t atMillis, std::string bytes) {
        clock_.AtMicros(atMillis * 1000, [this, n, bytes] {
            if (auto* port = Port(n)) {
                port->Deliver(bytes);
            }
        });
    }
    // Bytes that wait in COMn's input queue when its receiver starts, as from a device that
    // greeted before the port was opened.
    void DeliverOnOpen(int n, std::string bytes) { queued_[n] = std::move(bytes); }
    // Every write made on any port, in order.
    std::vector<WriteRecord> AllWrites() const { return writes_; }
    std::vector<std::string> log;  // "open COM3", "close COM3", in order
    // Called after every write, so a test can script the device's answers.
    std::function<void(const WriteRecord&)> onWrite;
    // A waiting write for which this returns true fails, as a line that does not take it.
    std::function<bool(const WriteRecord&)> refuseWrite;
    int OpenCount() const { return static_cast<int>(open_.size()); }

private:
    friend class ScriptedPort;
    VirtualClock& clock_;
    std::map<int, bool> present_;
    std::map<int, std::string> queued_;
    std::map<std::string, ScriptedPort*> open_;
    std::vector<WriteRecord> writes_;
};

inline ScriptedPort::~ScriptedPort() {
    Close();
}

inline bool ScriptedPort::Open(const char* portName, uint32_t baudRate, const char* frameText,
                               int /*mode*/) {
    const std::string requested = portName;
    const int n = requested.size() == 4 ? requested[3] - '0' : 0;
    if (!bus_.present_[n]) {
        return false;
    }
    name = requested;
    openSpeed = lineSpeed = baudRate;
    frame = frameText;
    open = true;
    bus_.open_[name] = this;
    bus_.log.push_back("open " + name);
    return true;
}

inline bool ScriptedPort::Close() {
    if (!open) {
        return true;
    }
    StopReceiver();
    open = false;
    bus_.open_.erase(name);
    bus_.log.push_back("close " + name);
    return true;
}

inline bool ScriptedPort::Write(const void* data, uint32_t length, bool wait) {
    if (!wait && TransferInProgress()) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    WriteRecord record{{bytes, bytes + length}, wait, clock_.NowMillis(), lineSpeed};
    if (wait && bus_.refuseWrite && bus_.refuseWrite(record)) {
        return false;  // the line did not take it within the limit; nothing reached the device
    }
    writes.push_back(record);
    bus_.writes_.push_back(record);
    if (!wait) {
        transferEndMicros = clock_.NowMicros() + streamMicros;
    }
    if (bus_.onWrite) {
        bus_.onWrite(record);
    }
    return true;
}

inline bool ScriptedPort::StartReceiver(uint8_t* ring, uint32_t ringSize,
                                        std::atomic<uint32_t>* writeIndex,
                                        const std::atomic<uint32_t>* readIndex) {
    if (Receiving()) {
        return true;
    }
    if (!InProcessPort::StartReceiver(ring, ringSize, writeIndex, readIndex)) {
        return false;
    }
    Deliver(bus_.queued_[name.back() - '0']);
    return true;
}

inline void ScriptedPort::Deliver(const std::string& bytes) {
    Arrive(bytes);
}

}  // namespace norvane::test
