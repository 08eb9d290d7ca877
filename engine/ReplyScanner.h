// The device speaks in fixed 16-character records that begin with a keyword. ScanReply takes
// characters out of a port's receive ring, assembles them into a record and classifies each
// completed record. There is one partial record for the whole process, shared by all rings:
// bytes from one ring may complete a record begun with another ring's bytes.
#pragma once

#include <atomic>
#include <cstdint>

namespace norvane {

using ReplyKind = int32_t;
constexpr ReplyKind REPLY_NONE = 0;
constexpr ReplyKind REPLY_READY = 1;
constexpr ReplyKind REPLY_ERASED = 2;
constexpr ReplyKind REPLY_ERROR = 3;
constexpr ReplyKind REPLY_PROGRAMMED = 4;
constexpr ReplyKind REPLY_CRC = 5;

constexpr uint32_t kRecordLength = 16;
constexpr uint32_t kRingSize = 1000;

// A record assembler with its own partial record. The engine uses the process-wide one
// through ScanReply; tests may make their own.
class ReplyScanner {
public:
    ReplyKind Scan(uint32_t* readIndex, const std::atomic<uint32_t>* writeIndex,
                   const uint8_t* ring, uint32_t size, const char** record);
    uint32_t HeldCount() const { return held_; }

private:
    ReplyKind Classify();

    char record_[kRecordLength + 1] = {};
    uint32_t held_ = 0;
};

// Takes at most one record's worth of characters out of the ring (more when line feeds
// discard fragments). Returns the kind of a record completed in this call, else REPLY_NONE.
// `*record` always points at the record storage, valid until the next call that takes a byte.
ReplyKind ScanReply(uint32_t* readIndex, const std::atomic<uint32_t>* writeIndex,
                    const uint8_t* ring, uint32_t size, const char** record);

// The process-wide scanner behind ScanReply.
ReplyScanner& ProcessReplyScanner();

// The 16-bit code of an "ERROR" record: positions 5 and 6, low byte first.
uint16_t ErrorCodeOf(const char* record);
// The value of a "CRC" record: the decimal number from position 3 on, read like atoi.
int32_t CrcValueOf(const char* record);

}  // namespace norvane
