// The receiver's side of a receive ring, for every port (the back ends and the fakes alike).
// The receiver alone moves the write index, the reader alone moves the read index; equal
// indices mean empty, so a full ring keeps one place free. Bytes that find the ring full are
// dropped and counted: unread bytes are never overwritten.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace norvane {

class RingWriter {
public:
    RingWriter() = default;
    // Zero-fills the ring; storing goes on from *writeIndex (from 0 when it lies outside).
    RingWriter(uint8_t* ring, uint32_t size, std::atomic<uint32_t>* writeIndex,
               const std::atomic<uint32_t>* readIndex, std::atomic<uint64_t>* dropped)
        : ring_(ring),
          size_(size),
          writeIndex_(writeIndex),
          readIndex_(readIndex),
          dropped_(dropped) {
        std::memset(ring, 0, size);
        if (writeIndex->load(std::memory_order_relaxed) >= size) {
            writeIndex->store(0, std::memory_order_relaxed);
        }
    }

    bool Attached() const { return ring_ != nullptr; }

    // Where the next bytes go and how many fit there in one piece (up to the ring's end and
    // short of the reader); 0 when the ring is full.
    uint8_t* FreeSpace(uint32_t* room) const {
        const uint32_t write = writeIndex_->load(std::memory_order_relaxed);
        // The reader has finished with a place once its index has moved past it.
        const uint32_t read = readIndex_->load(std::memory_order_acquire);
        const uint32_t free = (read + size_ - write - 1) % size_;
        *room = std::min(free, size_ - write);
        return ring_ + write;
    }
    // Publishes `count` bytes stored at FreeSpace(): they are in place before the reader
    // can see the index that covers them.
    void Commit(uint32_t count) const {
        const uint32_t write = writeIndex_->load(std::memory_order_relaxed);
        writeIndex_->store((write + count) % size_, std::memory_order_release);
    }
    void CountDropped(uint64_t count) const {
        dropped_->fetch_add(count, std::memory_order_relaxed);
    }

    // Where a receiver reads the line's next bytes to: the ring's free space or, with the ring
    // full, `scratch` (the line is still emptied; what lands there is dropped by Accept).
    struct ReadPlace {
        uint8_t* place;
        uint32_t room;
        bool full;
    };
    ReadPlace PlaceForRead(uint8_t* scratch, uint32_t scratchSize) const {
        uint32_t room = 0;
        uint8_t* place = FreeSpace(&room);
        if (room == 0) {
            return {scratch, scratchSize, true};
        }
        return {place, room, false};
    }
    // Takes `count` bytes read to `read`: publishes them, or counts them as dropped.
    void Accept(const ReadPlace& read, uint32_t count) const {
        if (read.full) {
            CountDropped(count);
        } else {
            Commit(count);
        }
    }

    // Copies `count` bytes in; what does not fit is dropped and counted.
    void Store(const uint8_t* bytes, uint32_t count) const {
        while (count > 0) {
            uint32_t room = 0;
            uint8_t* place = FreeSpace(&room);
            if (room == 0) {
                CountDropped(count);
                return;
            }
            const uint32_t part = std::min(room, count);
            std::memcpy(place, bytes, part);
            Commit(part);
            bytes += part;
            count -= part;
        }
    }

private:
    uint8_t* ring_ = nullptr;
    uint32_t size_ = 0;
    std::atomic<uint32_t>* writeIndex_ = nullptr;
    const std::atomic<uint32_t>* readIndex_ = nullptr;
    std::atomic<uint64_t>* dropped_ = nullptr;
};

}  // namespace norvane
