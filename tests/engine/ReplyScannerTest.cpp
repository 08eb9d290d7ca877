#include <gtest/gtest.h>

#include <string>

#include "engine/ReplyScanner.h"

namespace norvane {
namespace {

// A receive ring as a port's receiver fills it.
struct Ring {
    uint8_t bytes[kRingSize] = {};
    std::atomic<uint32_t> readIndex = 0;
    std::atomic<uint32_t> writeIndex = 0;

    explicit Ring(uint32_t start = 0) : readIndex(start), writeIndex(start) {}

    void Put(const std::string& data) {
        uint32_t w = writeIndex.load();
        for (char c : data) {
            bytes[w] = static_cast<uint8_t>(c);
            w = (w + 1) % kRingSize;
        }
        writeIndex.store(w);
    }
    ReplyKind Scan(ReplyScanner& scanner, const char** record = nullptr) {
        const char* unused = nullptr;
        return scanner.Scan(&readIndex, &writeIndex, bytes, kRingSize, record ? record : &unused);
    }
    uint32_t Pending() const { return (writeIndex.load() + kRingSize - readIndex) % kRingSize; }
};

TEST(ReplyScannerFraming, FifteenCharactersAndLineFeedCompleteARecord) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("READYTV12345678\n");
    const char* record = nullptr;
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_READY);
    EXPECT_EQ(std::string(record), "READYTV12345678\n");
    EXPECT_EQ(record[15], '\n');
    EXPECT_EQ(scanner.HeldCount(), 0u);
}

TEST(ReplyScannerFraming, LineFeedAfterSixteenCharactersStartsTheNextRecordAndIsSkipped) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("ERASED0123456789\nPROGRAMMED00000\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_ERASED);
    EXPECT_EQ(ring.Pending(), 17u);
    EXPECT_EQ(ring.Scan(scanner), REPLY_PROGRAMMED);
    EXPECT_EQ(ring.Pending(), 0u);
}

TEST(ReplyScannerFraming, EarlyLineFeedDiscardsTheFragment) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("READYTV1234567\n");  // 14 characters and a line feed
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    EXPECT_EQ(scanner.HeldCount(), 0u);
    EXPECT_EQ(ring.Pending(), 0u);

    ring.Put("\n");  // a line feed as the first byte is consumed and ignored
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    EXPECT_EQ(ring.Pending(), 0u);
    EXPECT_EQ(scanner.HeldCount(), 0u);
}

TEST(ReplyScannerFraming, OneRecordPerCallAndRecordsInPieces) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("ERASED000000000\nCRC12345xxxxxxx\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_ERASED);
    EXPECT_EQ(ring.Scan(scanner), REPLY_CRC);

    ring.Put("PROGRAMMED");
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    EXPECT_EQ(scanner.HeldCount(), 10u);
    ring.Put("xxxxx\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_PROGRAMMED);

    ring.Put("ERASEDxxxxxxxxxxABCD");  // 20 bytes: the last 4 begin the next record
    EXPECT_EQ(ring.Scan(scanner), REPLY_ERASED);
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    EXPECT_EQ(scanner.HeldCount(), 4u);
}

TEST(ReplyScannerFraming, ReadIndexWrapsAtTheRingSize) {
    ReplyScanner scanner;
    Ring ring(999);
    ring.Put("ERASED000000000\n");
    EXPECT_EQ(ring.writeIndex.load(), 15u);
    const char* record = nullptr;
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_ERASED);
    EXPECT_EQ(ring.readIndex, 15u);
    EXPECT_EQ(std::string(record, 6), "ERASED");
}

TEST(ReplyScannerKeywords, AnyLetterCaseMatchesAndTheRecordIsUpperCased) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("readyos*x1234ab\n");
    const char* record = nullptr;
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_READY);
    EXPECT_EQ(std::string(record), "READYOS*X1234AB\n");
}

TEST(ReplyScannerKeywords, MatchingIsByPrefixInTableOrder) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("ERRORS.........\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_ERROR);
    ring.Put("READXTV12345678\n");  // differs from READY in the last letter only
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    ring.Put("CRC            \n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_CRC);
    ring.Put("PROGRAMME......\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
}

TEST(ReplyScannerFields, ErrorCodeIsLittleEndianAndUpperCasedUntilANul) {
    ReplyScanner scanner;
    Ring ring;
    const char* record = nullptr;
    ring.Put(std::string("ERROR\x34\x12", 7) + "........\n");
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_ERROR);
    EXPECT_EQ(ErrorCodeOf(record), 0x1234);

    ring.Put(std::string("ERROR\x61\x7a", 7) + "........\n");  // 'a', 'z' become 'A', 'Z'
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_ERROR);
    EXPECT_EQ(ErrorCodeOf(record), 0x5A41);

    ring.Put(std::string("ERROR\x00\x61", 7) + "abcdefgh\n");  // a NUL stops the upper-casing
    EXPECT_EQ(ring.Scan(scanner, &record), REPLY_ERROR);
    EXPECT_EQ(ErrorCodeOf(record), 0x6100);
    EXPECT_EQ(std::string(record + 7, 8), "abcdefgh");
}

TEST(ReplyScannerFields, ErrorCodeWithALineFeedByteNeverCompletes) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put(std::string("ERROR\x0a\x01", 7) + "........\n");
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);  // "\x01........\n" is only 10 bytes
    EXPECT_EQ(scanner.HeldCount(), 0u);
}

TEST(ReplyScannerFields, CrcValueReadsLikeAtoi) {
    auto value = [](const char* text) { return CrcValueOf(text); };
    EXPECT_EQ(value("CRC12345       "), 12345);
    EXPECT_EQ(value("CRC  +42x      "), 42);
    EXPECT_EQ(value("CRC-1          "), -1);
    EXPECT_EQ(value("CRCX123        "), 0);
    EXPECT_EQ(static_cast<uint16_t>(value("CRC 78500      ")), 78500 - 65536);
    EXPECT_EQ(static_cast<uint16_t>(value("CRC9999999999999")),
              static_cast<uint16_t>(9999999999999LL));
}

TEST(ReplyScannerSharing, OnePartialRecordIsSharedByAllRings) {
    ReplyScanner scanner;
    Ring first;
    Ring second;
    first.Put("READYTV1");
    EXPECT_EQ(first.Scan(scanner), REPLY_NONE);
    second.Put("23456789\n");  // completes the record begun on the first ring
    const char* record = nullptr;
    EXPECT_EQ(second.Scan(scanner, &record), REPLY_READY);
    EXPECT_EQ(std::string(record), "READYTV123456789");
}

TEST(ReplyScannerSharing, DiscardingPendingBytesKeepsThePartialRecord) {
    ReplyScanner scanner;
    Ring ring;
    ring.Put("ERASED");
    EXPECT_EQ(ring.Scan(scanner), REPLY_NONE);
    ring.Put("garbage");
    ring.readIndex = ring.writeIndex.load();  // the caller drops what came
    ring.Put("0123456789");
    EXPECT_EQ(ring.Scan(scanner), REPLY_ERASED);
}

TEST(ReplyScannerSharing, EachRingsScannerKeepsItsOwnPartialRecord) {
    ReplyScanner firstScanner;
    ReplyScanner secondScanner;
    Ring first;
    Ring second;
    first.Put("CRC1");
    EXPECT_EQ(first.Scan(firstScanner), REPLY_NONE);
    second.Put("2345       \n");
    EXPECT_EQ(second.Scan(secondScanner), REPLY_NONE);  // a fragment of its own, dropped
    first.Put("2345       \n");
    const char* record = nullptr;
    EXPECT_EQ(first.Scan(firstScanner, &record), REPLY_CRC);
    EXPECT_EQ(CrcValueOf(record), 12345);
}

}  // namespace
}  // namespace norvane
