// Helpers for the simulator tests: an independent CRC reference, stream builders for both
// programming protocols and a scripted host for driving a DeviceModel directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/simulator/DeviceModel.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::sim::test {

// Table-driven CRC-16/XMODEM, written from the published parameters (poly 0x1021, init 0).
inline uint16_t ReferenceCrc(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(256);
        for (uint32_t k = 0; k < 256; ++k) {
            uint32_t reg = k << 8;
            for (int i = 0; i < 8; ++i) {
                reg = (reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1;
            }
            t[k] = static_cast<uint16_t>(reg);
        }
        return t;
    }();
    uint16_t crc = 0;
    for (size_t i = from; i < from + length; ++i) {
        crc = static_cast<uint16_t>(table[((crc >> 8) ^ bytes[i]) & 0xFF] ^ (crc << 8));
    }
    return crc;
}

inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A deterministic pseudo-random region.
inline std::vector<uint8_t> Pattern(size_t length, uint32_t seed) {
    std::vector<uint8_t> out(length);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

// The host's checksum-protocol stream after "ERASED": lengths, chunks with sums, totals.
struct ChecksumStream {
    std::vector<uint8_t> lengths, region0, region1, totals;
};
inline ChecksumStream BuildChecksumStream(const std::vector<uint8_t>& r0,
                                          const std::vector<uint8_t>& r1) {
    ChecksumStream s;
    PutLe16(s.lengths, static_cast<uint32_t>(r0.size()));
    PutLe16(s.lengths, static_cast<uint32_t>(r1.size()));
    uint16_t totals[2] = {0, 0};
    const std::vector<uint8_t>* regions[2] = {&r0, &r1};
    std::vector<uint8_t>* outs[2] = {&s.region0, &s.region1};
    for (int r = 0; r < 2; ++r) {
        for (size_t off = 0; off < regions[r]->size(); off += 256) {
            uint32_t sum = 0;
            for (size_t i = 0; i < 256; ++i) {
                const uint8_t b = (*regions[r])[off + i];
                outs[r]->push_back(b);
                sum += b;
            }
            PutLe16(*outs[r], sum);
            totals[r] = static_cast<uint16_t>(totals[r] + sum);
        }
    }
    PutLe16(s.totals, static_cast<uint16_t>(~totals[0]));
    PutLe16(s.totals, static_cast<uint16_t>(~totals[1]));
    return s;
}

// Drives a model by hand on a virtual clock: what it sends is collected with its time.
class ScriptHost final : public DeviceHost {
public:
    struct Chunk {
        uint64_t at;
        std::string bytes;
    };

    ScriptHost(DeviceModel& model, VirtualClock& clock) : model_(model), clock_(clock) {
        model_.SetHost(this);
    }
    void Send(const uint8_t* data, size_t length) override {
        chunks.push_back({clock_.NowMicros(), std::string(data, data + length)});
        all.append(data, data + length);
    }
    void After(uint64_t delayMicros, std::function<void()> action) override {
        clock_.AfterMicros(delayMicros, std::move(action));
    }
    uint64_t NowMicros() override { return clock_.NowMicros(); }
    uint32_t HostLineSpeed() override { return speed; }
    void Disconnect() override { ++disconnects; }

    void Feed(const std::vector<uint8_t>& bytes) { model_.Receive(bytes.data(), bytes.size()); }
    void Feed(const std::string& text) {
        model_.Receive(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    void Advance(uint64_t micros) { clock_.AdvanceToMicros(clock_.NowMicros() + micros); }

    std::vector<Chunk> chunks;
    std::string all;
    uint32_t speed = 9600;
    int disconnects = 0;

private:
    DeviceModel& model_;
    VirtualClock& clock_;
};

// Splits a stream of 16-byte records (framed with a line feed) into their texts without the
// line feed.
inline std::vector<std::string> Records(const std::string& stream) {
    std::vector<std::string> out;
    for (size_t at = 0; at + 16 <= stream.size(); at += 16) {
        out.push_back(stream.substr(at, 15));
    }
    return out;
}

}  // namespace norvane::sim::test
