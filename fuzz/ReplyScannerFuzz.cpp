// The reply scanner fed arbitrary bytes in arbitrary pieces through up to four rings of any
// size, with one partial record shared by all of them. Every call is checked against a plain
// model of the assembly rules: bytes taken, kind, record, held count and index wrap.
//
// Input: one byte of set-up per ring (its size and where its indices start), then a list of
// steps. A step byte names a ring; with bit 2 set it delivers the next (step >> 3) bytes into
// that ring, else it scans that ring once.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "engine/ReplyScanner.h"

namespace {

using namespace norvane;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "reply scanner: %s\n", what);
    std::abort();
}

void Check(bool ok, const char* what) {
    if (!ok) {
        Fail(what);
    }
}

struct Ring {
    std::vector<uint8_t> bytes;
    std::atomic<uint32_t> readIndex{0};
    std::atomic<uint32_t> writeIndex{0};
    std::deque<uint8_t> unread;  // the model's view: bytes delivered and not yet taken
};

// The assembly rules, written out plainly.
struct ModelScanner {
    std::string held;
    std::string record;

    ReplyKind Scan(std::deque<uint8_t>& unread, size_t* taken) {
        *taken = 0;
        while (held.size() < 16 && !unread.empty()) {
            const uint8_t c = unread.front();
            unread.pop_front();
            ++*taken;
            if (c == '\n' && held.size() != 15) {
                held.clear();
            } else {
                held.push_back(static_cast<char>(c));
            }
        }
        if (held.size() < 16) {
            return REPLY_NONE;
        }
        record = held;
        held.clear();
        for (char& c : record) {
            if (c == '\0') {
                break;
            }
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 32);
            }
        }
        static const char* const keywords[] = {"READY", "ERASED", "ERROR", "PROGRAMMED", "CRC"};
        for (int k = 0; k < 5; ++k) {
            if (record.compare(0, std::strlen(keywords[k]), keywords[k]) == 0) {
                return static_cast<ReplyKind>(k + 1);
            }
        }
        return REPLY_NONE;
    }
};

// atoi's reading of a "CRC" record from position 3, wrapping in 32 bits.
int32_t ModelCrcValue(const std::string& record) {
    size_t p = 3;
    while (p < record.size() && (record[p] == ' ' || (record[p] >= '\t' && record[p] <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < record.size() && (record[p] == '+' || record[p] == '-')) {
        negative = record[p] == '-';
        ++p;
    }
    uint64_t value = 0;
    while (p < record.size() && record[p] >= '0' && record[p] <= '9') {
        value = (value * 10 + static_cast<uint64_t>(record[p] - '0')) & 0xFFFFFFFFu;
        ++p;
    }
    return static_cast<int32_t>(negative ? (0u - static_cast<uint32_t>(value))
                                         : static_cast<uint32_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    size_t at = 0;
    const size_t ringCount = 1 + data[at++] % 4;
    std::vector<Ring> rings(ringCount);
    for (Ring& ring : rings) {
        const uint8_t setup = at < size ? data[at++] : 0;
        // Mostly the program's 1000-byte rings; small ones wrap often.
        const uint32_t ringSize = (setup & 0x80) ? kRingSize : 1 + (setup & 0x1F);
        ring.bytes.assign(ringSize, 0);
        // Start near the end of the ring so the wrap comes early.
        const uint32_t start = (setup & 0x40) ? ringSize - 1 - (setup & 0x07) % ringSize : 0;
        ring.readIndex = start;
        ring.writeIndex.store(start);
    }

    ReplyScanner scanner;
    ModelScanner model;
    while (at < size) {
        const uint8_t step = data[at++];
        Ring& ring = rings[step % ringCount];
        const uint32_t ringSize = static_cast<uint32_t>(ring.bytes.size());
        if (step & 0x04) {
            // Deliver as the receiver would, never lapping the reader (a lapped ring loses
            // bytes without notice, which no model can follow).
            size_t count = step >> 3;
            count = std::min(count, size - at);
            count = std::min(count, static_cast<size_t>(ringSize - 1) - ring.unread.size());
            uint32_t w = ring.writeIndex.load();
            for (size_t i = 0; i < count; ++i) {
                ring.bytes[w] = data[at + i];
                ring.unread.push_back(data[at + i]);
                w = (w + 1) % ringSize;
            }
            at += step >> 3 <= size - at ? step >> 3 : size - at;
            ring.writeIndex.store(w, std::memory_order_release);
            continue;
        }
        const uint32_t readBefore = ring.readIndex;
        const char* record = nullptr;
        const ReplyKind kind =
            scanner.Scan(&ring.readIndex, &ring.writeIndex, ring.bytes.data(), ringSize, &record);
        size_t taken = 0;
        const ReplyKind expected = model.Scan(ring.unread, &taken);

        Check(record != nullptr, "record pointer not set");
        Check(kind == expected, "kind differs from the model");
        Check(ring.readIndex < ringSize, "read index outside the ring");
        Check(ring.readIndex == (readBefore + taken) % ringSize, "bytes taken differ");
        Check(scanner.HeldCount() == model.held.size(), "held count differs");
        Check(scanner.HeldCount() < kRecordLength, "held count reached a whole record");
        if (taken == 0) {
            Check(kind == REPLY_NONE, "a kind without a byte taken");
        }
        if (kind != REPLY_NONE) {
            Check(std::memcmp(record, model.record.data(), kRecordLength) == 0,
                  "record differs from the model");
            Check(record[kRecordLength] == '\0', "record not terminated");
            if (kind == REPLY_ERROR) {
                const uint16_t code =
                    static_cast<uint16_t>(static_cast<uint8_t>(model.record[5]) |
                                          static_cast<uint8_t>(model.record[6]) << 8);
                Check(ErrorCodeOf(record) == code, "error code");
            }
            if (kind == REPLY_CRC) {
                Check(CrcValueOf(record) == ModelCrcValue(model.record), "CRC value");
            }
        }
    }
    return 0;
}
