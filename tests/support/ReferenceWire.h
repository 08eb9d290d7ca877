// What a correct host puts on the wire, worked out here from the image alone, so tests can
// compare the device's received bytes without trusting the code under test.
#pragma once

#include <cstdint>
#include <vector>

namespace norvane::test {

using Bytes = std::vector<uint8_t>;

// CRC-16/XMODEM bit by bit, straight from the polynomial.
inline uint16_t ReferenceCrc(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

inline void PutLittleEndian(Bytes& out, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// The checksum protocol's bytes for regions of the given rounded lengths.
inline Bytes ChecksumWire(const Bytes& image, uint32_t length0, uint32_t length1) {
    Bytes wire = {'S', 'T', 'A', 'R', 'T'};
    PutLittleEndian(wire, length0, 2);
    PutLittleEndian(wire, length1, 2);
    const uint32_t starts[2] = {0x2000, 0x10000};
    const uint32_t lengths[2] = {length0, length1};
    uint32_t totals[2] = {0, 0};
    for (int r = 0; r < 2; ++r) {
        for (uint32_t offset = 0; offset < lengths[r]; offset += 256) {
            uint32_t sum = 0;
            for (uint32_t i = 0; i < 256; ++i) {
                const uint8_t b = image[starts[r] + offset + i];
                wire.push_back(b);
                sum += b;
            }
            PutLittleEndian(wire, sum, 2);
            totals[r] += sum;
        }
    }
    PutLittleEndian(wire, ~totals[0] & 0xFFFF, 2);
    PutLittleEndian(wire, ~totals[1] & 0xFFFF, 2);
    return wire;
}

// A checksum region's length: its last byte other than 0xFF (region offset 0 not examined)
// rounded up to whole chunks.
inline uint32_t ChecksumRegionLength(const Bytes& image, uint32_t start, uint32_t lastExamined) {
    uint32_t last = 0;
    for (uint32_t k = lastExamined; k >= 1; --k) {
        if (image[start + k] != 0xFF) {
            last = k;
            break;
        }
    }
    return last == 0 ? 0 : (last + 1 + 255) / 256 * 256;
}

// The block-CRC protocol's bytes for an image of `length` bytes from 1 MiB on.
inline Bytes BlockCrcWire(const Bytes& image, uint32_t length, bool star) {
    uint32_t lower = 0x100000;
    while (lower > 0 && image[lower - 1] == 0xFF) {
        --lower;
    }
    lower = (lower + 255) / 256 * 256;
    const uint32_t upper = length - 0x100000;
    Bytes wire = {'S', 'T', 'A', 'R', 'T'};
    PutLittleEndian(wire, star ? upper : 0x00E00000, 4);
    PutLittleEndian(wire, lower, 4);
    wire.insert(wire.end(), image.begin(), image.begin() + lower);
    wire.insert(wire.end(), image.begin() + 0x100000, image.begin() + length);
    wire.insert(wire.end(), 4, 0xFF);
    return wire;
}

}  // namespace norvane::test
