// Firmware images made from a fuzzer's input: raw short resources, or images of the sizes the
// engine really meets (around the checksum protocol's minimum, around 1 MiB for OS) with the
// input's bytes patched in where the engine looks: the kind code, the version texts, the ends
// of the regions, the 1 MiB boundary and the image's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace norvane::fuzz {

class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    size_t Left() const { return size_ - at_; }
    const uint8_t* Rest() const { return data_ + at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

enum class ImageShape { Raw, ChecksumSized, OsSized, Small };

// The image lies at the very end of one allocation kept for the whole run, so a read past its
// end is caught as on an allocation of its own size, without a mebibyte allocated and filled
// for every input. The arena is 0xFF throughout between inputs; an image undoes its changes
// when it goes.
class FuzzImage {
public:
    FuzzImage(InputReader& in, ImageShape* shapeOut = nullptr);
    ~FuzzImage();
    FuzzImage(const FuzzImage&) = delete;
    FuzzImage& operator=(const FuzzImage&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint8_t operator[](size_t i) const { return data_[i]; }

private:
    static constexpr size_t kArenaSize = 0x101000;
    static uint8_t* Arena() {
        static std::vector<uint8_t> arena(kArenaSize, 0xFF);
        return arena.data();
    }
    void Set(size_t at, uint8_t value) {
        data_[at] = value;
        touched_.push_back(at);
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool wholeDirty_ = false;
    std::vector<size_t> touched_;
};

inline FuzzImage::FuzzImage(InputReader& in, ImageShape* shapeOut) {
    const uint8_t mode = in.Byte();
    const ImageShape shape = static_cast<ImageShape>(mode % 4);
    if (shapeOut != nullptr) {
        *shapeOut = shape;
    }
    if (shape == ImageShape::Raw) {
        size_ = in.Left() < kArenaSize ? in.Left() : kArenaSize;
        data_ = Arena() + kArenaSize - size_;
        if (size_ > 0) {
            std::memcpy(data_, in.Rest(), size_);
        }
        wholeDirty_ = true;
        return;
    }
    const uint8_t a = in.Byte();
    const uint8_t b = in.Byte();
    const uint8_t fill = in.Byte();
    switch (shape) {
        case ImageShape::ChecksumSized:  // around 0x10000 + 0xBF00
            size_ = 0x1BF00 - 0x100 + (size_t{a} << 1) + (b & 1);
            break;
        case ImageShape::OsSized:  // just below or above 1 MiB, whole blocks or not
            size_ = 0x100000 - 0x400 + size_t{a} * 16 + (b & 0x0F);
            break;
        default:  // around the kind code and the OS version text
            size_ = 0xF0 + a;
            break;
    }
    data_ = Arena() + kArenaSize - size_;
    // Any fill but 0xFF makes the engine's backwards searches run over the whole image;
    // keep it to the smaller images.
    uint8_t base = 0xFF;
    if ((fill & 3) == 1 && size_ < 0x1000) {
        base = 0x00;
    } else if ((fill & 3) == 2 && size_ < 0x1000) {
        base = 0x5A;
    }
    if (base != 0xFF) {
        std::memset(data_, base, size_);
        wholeDirty_ = true;
    }
    if ((fill & 0x0C) != 0 && size_ > 0x102) {
        static const char* const kinds[] = {"OS", "GM", "TV"};
        const char* kind = kinds[((fill >> 2) & 3) - 1];
        Set(0x100, static_cast<uint8_t>(kind[0]));
        Set(0x101, static_cast<uint8_t>(kind[1]));
    }
    // Patches of three bytes: where (one of the places the engine looks), how far off, value.
    static const size_t anchors[] = {
        0x100,    0x102,   0x2000,           0x2000 + 0x9EFD,  0x2000 + 0x9F00,
        0x10000,  0x10100, 0x10000 + 0xBEFD, 0x10000 + 0xBF00, 0xFFF00,
        0x100000, 0};
    constexpr size_t anchorCount = sizeof anchors / sizeof anchors[0];
    while (in.Left() >= 3) {
        const uint8_t where = in.Byte();
        const int8_t delta = static_cast<int8_t>(in.Byte());
        const uint8_t value = in.Byte();
        size_t anchor = anchors[where % anchorCount];
        if (anchor == 0) {
            anchor = size_;  // the image's end
        }
        const long long position = static_cast<long long>(anchor) + delta;
        if (position >= 0 && static_cast<size_t>(position) < size_) {
            Set(static_cast<size_t>(position), value);
        }
    }
}

inline FuzzImage::~FuzzImage() {
    if (wholeDirty_) {
        if (size_ > 0) {
            std::memset(data_, 0xFF, size_);
        }
        return;
    }
    for (size_t at : touched_) {
        data_[at] = 0xFF;
    }
}

}  // namespace norvane::fuzz
