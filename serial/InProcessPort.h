// The receiving half shared by the ports that live in this process (the simulator's bus, the
// tests' scripted ports, the fuzz targets' ports): the bytes "arrive" when the port's owner
// hands them over, on its own thread, and go into the ring like a receiver thread's would,
// dropped and counted when the ring is full.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "serial/RingWriter.h"
#include "serial/SerialPort.h"

namespace norvane {

class InProcessPort : public SerialPort {
public:
    bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                       const std::atomic<uint32_t>* readIndex) override {
        if (ring == nullptr || ringSize == 0 || writeIndex == nullptr || readIndex == nullptr) {
            return false;
        }
        dropped_ = 0;
        ring_ = RingWriter(ring, ringSize, writeIndex, readIndex, &dropped_);
        return true;
    }
    bool StopReceiver() override {
        ring_ = RingWriter();
        return true;
    }
    uint64_t DroppedBytes() const override { return dropped_.load(std::memory_order_relaxed); }

protected:
    bool Receiving() const { return ring_.Attached(); }
    // Bytes from the other end arriving now; lost when no receiver runs.
    void Arrive(const uint8_t* bytes, uint32_t count) {
        if (Receiving()) {
            ring_.Store(bytes, count);
        }
    }
    void Arrive(std::string_view bytes) {
        Arrive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    }

private:
    RingWriter ring_;
    std::atomic<uint64_t> dropped_{0};
};

}  // namespace norvane
