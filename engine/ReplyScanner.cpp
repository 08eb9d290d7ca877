#include "engine/ReplyScanner.h"

#include <cstring>

namespace norvane {
namespace {

struct Keyword {
    const char* text;
    size_t length;
    ReplyKind kind;
};

// Tested in this order; the first keyword the record begins with decides.
constexpr Keyword kKeywords[] = {
    {"READY", 5, REPLY_READY}, {"ERASED", 6, REPLY_ERASED},
    {"ERROR", 5, REPLY_ERROR}, {"PROGRAMMED", 10, REPLY_PROGRAMMED},
    {"CRC", 3, REPLY_CRC},
};

}  // namespace

ReplyKind ReplyScanner::Scan(std::atomic<uint32_t>* readIndex,
                             const std::atomic<uint32_t>* writeIndex, const uint8_t* ring,
                             uint32_t size, const char** record) {
    *record = record_;
    ReplyKind kind = REPLY_NONE;
    uint32_t read = readIndex->load(std::memory_order_relaxed);  // this thread alone moves it
    while (held_ < kRecordLength) {
        // The receiver stores the bytes before it publishes the index that covers them.
        if (read == writeIndex->load(std::memory_order_acquire)) {
            break;
        }
        const uint8_t c = ring[read];
        if (c == '\n' && held_ != kRecordLength - 1) {
            held_ = 0;  // a line feed before position 15 discards the fragment
        } else {
            record_[held_++] = static_cast<char>(c);
            if (held_ == kRecordLength) {
                kind = Classify();
            }
        }
        if (++read == size) {
            read = 0;
        }
        // The byte is read before the receiver may store a new one in its place.
        readIndex->store(read, std::memory_order_release);
    }
    if (held_ == kRecordLength) {
        held_ = 0;
    }
    return kind;
}

ReplyKind ReplyScanner::Classify() {
    record_[kRecordLength] = '\0';
    // Letters are upper-cased up to the first NUL only.
    for (uint32_t i = 0; i < kRecordLength && record_[i] != '\0'; ++i) {
        if (record_[i] >= 'a' && record_[i] <= 'z') {
            record_[i] = static_cast<char>(record_[i] - 'a' + 'A');
        }
    }
    for (const auto& keyword : kKeywords) {
        if (std::memcmp(record_, keyword.text, keyword.length) == 0) {
            return keyword.kind;
        }
    }
    return REPLY_NONE;
}

uint16_t ErrorCodeOf(const char* record) {
    return static_cast<uint16_t>(static_cast<uint8_t>(record[5]) |
                                 (static_cast<uint8_t>(record[6]) << 8));
}

int32_t CrcValueOf(const char* record) {
    // Like atoi: white space, an optional sign, digits up to the first non-digit. Accumulated
    // wrapping in 32 bits, so an overlong number cannot overflow; only its low 16 bits count.
    const char* p = record + 3;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<uint32_t>(*p - '0');
        ++p;
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace norvane
