// SHA-256 (FIPS 180-4), for the log's fingerprint of the embedded image: a record of which
// bytes went into a device that any other tool can check (sha256sum).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace norvane {

class Sha256 {
public:
    Sha256();
    void Add(std::span<const uint8_t> bytes);
    // The digest of everything added; the object is spent afterwards.
    std::array<uint8_t, 32> Finish();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pendingLength_ = 0;
    uint64_t totalLength_ = 0;
};

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace norvane
