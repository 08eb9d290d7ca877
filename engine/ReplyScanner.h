// The device speaks in fixed 16-character records that begin with a keyword. ScanReply takes
// characters out of a port's receive ring, assembles them into a record and classifies each
// completed record. Each ring has its own scanner, so a record is always made of one port's
// bytes.
#pragma once

#include <atomic>
#include <cstdint>

namespace norvane {

// The kind of a completed record, by its leading keyword. The values are also the detail of
// RC_INVALID_REPLY, so they stay as they are.
enum ReplyKind : int32_t {
    REPLY_NONE = 0,  // no record completed, or one without a keyword
    REPLY_READY = 1,
    REPLY_ERASED = 2,
    REPLY_ERROR = 3,
    REPLY_PROGRAMMED = 4,
    REPLY_CRC = 5,
};

constexpr uint32_t kRecordLength = 16;
constexpr uint32_t kRingSize = 1000;

// A record assembler with its own partial record, one per receive ring.
class ReplyScanner {
public:
    // Takes at most one record's worth of characters out of the ring (more when line feeds
    // discard fragments), publishing the read index after each byte so that the receiver
    // may reuse its place. Returns the kind of a record completed in this call, else
    // REPLY_NONE. `*record` always points at the record storage, valid until the next call
    // that takes a byte.
    ReplyKind Scan(std::atomic<uint32_t>* readIndex, const std::atomic<uint32_t>* writeIndex,
                   const uint8_t* ring, uint32_t size, const char** record);
    uint32_t HeldCount() const { return held_; }

private:
    ReplyKind Classify();

    char record_[kRecordLength + 1] = {};
    uint32_t held_ = 0;
};

// The 16-bit code of an "ERROR" record: positions 5 and 6, low byte first.
uint16_t ErrorCodeOf(const char* record);
// The value of a "CRC" record: the decimal number from position 3 on, read like atoi.
int32_t CrcValueOf(const char* record);

}  // namespace norvane
