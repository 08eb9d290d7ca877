// The block-CRC protocol in virtual time against a scripted OS device: the bytes on the wire,
// the waits' grids and limits, every result.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "tests/support/EngineFixture.h"
#include "tests/support/ReferenceWire.h"

namespace norvane {
namespace {

using test::Bytes;
using test::EngineFixture;
using test::ReferenceCrc;
using test::WriteRecord;

Bytes Word(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

// An image of `length` bytes: random code up to `lastCode` in the first MiB, 0xFF behind it,
// random upper bytes ending in 0xFF.
Bytes OsImage(uint32_t length, uint32_t lastCode) {
    std::mt19937 random(length ^ lastCode);
    Bytes image(length, 0xFF);
    for (uint32_t i = 0; i <= lastCode && i < length && i < 0x100000; ++i) {
        image[i] = static_cast<uint8_t>(random() % 0xFF);  // never 0xFF
    }
    for (uint32_t i = 0x100000; i + 1 < length; ++i) {
        image[i] = static_cast<uint8_t>(random());
    }
    return image;
}

// A scripted OS device: answers "START" with "ERASED", every streamed block with its CRC,
// the end marker with "PROGRAMMED". Unset delays keep it silent at that point.
struct OsDevice {
    std::optional<uint64_t> eraseMs = 800;
    std::optional<uint64_t> upperEraseMs = 800;
    std::optional<uint64_t> programmedMs = 30;
    // A block takes about 22 ms on the wire at 115200 baud.
    uint64_t blockMs = 22;
    bool upperFollows = false;
    // The record that acknowledges block k (counted over both regions).
    std::function<std::string(size_t, uint16_t)> crcRecord = [](size_t, uint16_t crc) {
        return "CRC" + std::to_string(crc);
    };
    int streams = 0;
    size_t blocksSeen = 0;
};

class BlockCrcTest : public EngineFixture {
protected:
    void Find(bool star) {
        bus.Present(1);
        bus.DeliverOnOpen(1, Greeting("OS", star ? "*xSN0001" : "-xSN0001"));
        const SearchOutcome search = programmer->SearchDevice(&abortFlag);
        ASSERT_EQ(search.result, MakeResult(RC_FOUND_OS));
        starFlag = search.device->starFlag;
        events.Clear();
        bus.onWrite = [this](const WriteRecord& write) { Answer(write); };
    }

    void Answer(const WriteRecord& write) {
        const auto at = [this](uint64_t delayMs, std::string text) {
            bus.DeliverAt(1, clock.NowMillis() + delayMs, Record(text));
        };
        if (write.bytes == Bytes{'S', 'T', 'A', 'R', 'T'}) {
            if (device.eraseMs) {
                at(*device.eraseMs, "ERASED");
            }
            return;
        }
        if (write.wait) {
            return;  // header words
        }
        const bool endMarker = device.streams == (device.upperFollows ? 2 : 1);
        ++device.streams;
        if (endMarker) {
            if (device.programmedMs) {
                at(*device.programmedMs, "PROGRAMMED");
            }
            return;
        }
        const size_t blocks = write.bytes.size() / 256;
        for (size_t k = 0; k < blocks; ++k) {
            const uint16_t crc = ReferenceCrc(write.bytes.data() + 256 * k, 256);
            at(device.blockMs * (k + 1), device.crcRecord(device.blocksSeen++, crc));
        }
        if (device.streams == 1 && device.upperFollows && device.upperEraseMs) {
            at(device.blockMs * blocks + *device.upperEraseMs, "ERASED");
        }
    }

    FlashResult Run(const Bytes& image, uint32_t length = 0) {
        startMs = clock.NowMillis();
        const ImageSpan whole(image);
        const StepOutcome outcome = programmer->RunBlockCrcProtocol(
            length ? whole.first(length) : whole, starFlag, &abortFlag);
        detail = outcome.detail;
        return outcome.result;
    }
    std::vector<WriteRecord> Writes() const { return bus.AllWrites(); }

    OsDevice device;
    uint64_t startMs = 0;
    bool starFlag = false;
    std::string detail;  // the run's second text
};

TEST_F(BlockCrcTest, LowerAndUpperRegionsGoOutAsSpecifiedAndSucceed) {
    Find(true);
    device.upperFollows = true;
    const Bytes image = OsImage(0x100300, 0x1234);
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));

    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[0].bytes, (Bytes{'S', 'T', 'A', 'R', 'T'}));
    EXPECT_TRUE(writes[0].wait);
    EXPECT_EQ(writes[0].lineSpeed, 9600u);
    EXPECT_EQ(writes[1].bytes, (Bytes{0x00, 0x03, 0x00, 0x00}));  // the upper length
    EXPECT_EQ(writes[2].bytes, (Bytes{0x00, 0x13, 0x00, 0x00}));  // lower 0x1234 rounded up
    EXPECT_TRUE(writes[1].wait && writes[2].wait);
    EXPECT_EQ(writes[1].lineSpeed, 115200u);
    EXPECT_EQ(writes[1].atMillis, startMs + 800 + 50);  // in the tick that found "ERASED"
    EXPECT_EQ(writes[3].bytes, Bytes(image.begin(), image.begin() + 0x1300));
    EXPECT_EQ(Bytes(writes[3].bytes.end() - 0xCB, writes[3].bytes.end()), Bytes(0xCB, 0xFF));
    EXPECT_EQ(writes[4].bytes, Bytes(image.begin() + 0x100000, image.end()));
    EXPECT_EQ(writes[5].bytes, Bytes(4, 0xFF));
    EXPECT_FALSE(writes[3].wait || writes[4].wait || writes[5].wait);

    EXPECT_EQ(
        events.StatusTexts(),
        (std::vector<std::string>{"Erasing flash memory #0...", "Programming flash memory #0...",
                                  "Erasing flash memory #1...", "Programming flash memory #1...",
                                  "Verifying correct programming..."}));
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{400, 19, 400, 3, 200}));
    EXPECT_EQ(bus.OpenCount(), 0);
}

TEST_F(BlockCrcTest, WithoutStarTheFirstHeaderWordIsFixedAndTheRestIsTheSame) {
    Find(false);
    device.upperFollows = true;
    const Bytes image = OsImage(0x100300, 0x1234);
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[1].bytes, (Bytes{0x00, 0x00, 0xE0, 0x00}));
    EXPECT_EQ(writes[4].bytes.size(), 0x300u);
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{400, 19, 400, 3, 200}));
}

TEST_F(BlockCrcTest, ExactlyOneMebibyteGoesStraightToVerification) {
    for (bool star : {true, false}) {
        SCOPED_TRACE(star);
        Restart();
        device = OsDevice{};
        Find(star);
        const Bytes image = OsImage(0x100000, 0x0FFFFF);
        EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
        const auto writes = Writes();
        ASSERT_EQ(writes.size(), 5u);
        EXPECT_EQ(writes[1].bytes, star ? Word(0) : Word(0x00E00000));
        EXPECT_EQ(writes[2].bytes, Word(0x100000));
        EXPECT_EQ(writes[3].bytes.size(), 0x100000u);
        for (const auto& text : events.StatusTexts()) {
            EXPECT_EQ(text.find("#1"), std::string::npos) << text;
        }
    }
}

TEST_F(BlockCrcTest, UnusableImagesAreRefusedBeforeAnythingIsPostedOrSent) {
    Find(true);
    EXPECT_EQ(Run(OsImage(0x100001, 0x1234)), MakeResult(RC_INVALID_IMAGE));
    EXPECT_TRUE(events.Events().empty());
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(bus.OpenCount(), 0);  // released all the same

    Restart();
    Find(true);
    Bytes blank(0x100100, 0xFF);
    EXPECT_EQ(Run(blank), MakeResult(RC_INVALID_IMAGE));
    EXPECT_TRUE(events.Events().empty());
    EXPECT_TRUE(Writes().empty());
}

TEST_F(BlockCrcTest, UpperRegionFollowsAFullLowerRegionAtBlockIndex4096) {
    Find(true);
    device.upperFollows = true;
    const Bytes image = OsImage(0x100100, 0x0FFFFF);
    std::vector<size_t> acknowledged;
    device.crcRecord = [&](size_t k, uint16_t crc) {
        acknowledged.push_back(k);
        return "CRC" + std::to_string(crc);
    };
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(Writes()[2].bytes, (Bytes{0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(acknowledged.size(), 4097u);
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{400, 4096, 400, 1, 200}));
}

TEST_F(BlockCrcTest, ImageBelowOneBlockHasNoBlocksAndAStrayCrcIsAMismatch) {
    Find(true);
    Bytes image = OsImage(200, 150);
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(Writes()[2].bytes, Word(200));
    EXPECT_EQ(Writes()[3].bytes, image);

    // A device that acknowledges a block the host never sent whole.
    Restart();
    device = OsDevice{};
    Find(true);
    bus.onWrite = [this](const WriteRecord& write) {
        Answer(write);
        if (write.wait && write.bytes == Word(200)) {  // arrives before the only block tick
            bus.Port(1)->Deliver(Record("CRC0"));
        }
    };
    EXPECT_EQ(Run(image), MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH));
}

TEST_F(BlockCrcTest, CrcValuesCompareInTheirLow16Bits) {
    Find(true);
    device.crcRecord = [](size_t, uint16_t crc) { return "CRC " + std::to_string(crc + 65536); };
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_SUCCESS));

    Restart();
    device = OsDevice{};
    Find(true);
    device.crcRecord = [](size_t, uint16_t) { return std::string("CRCx"); };  // reads as 0
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH));
}

TEST_F(BlockCrcTest, MismatchOnTheLastLowerBlockEndsBeforeTheUpperErase) {
    Find(true);
    device.upperFollows = true;
    device.crcRecord = [](size_t k, uint16_t crc) {
        return "CRC" + std::to_string(k == 18 ? crc ^ 1 : crc);
    };
    EXPECT_EQ(Run(OsImage(0x100300, 0x1234)), MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH));
    EXPECT_EQ(Writes().size(), 4u);  // no upper stream, no end marker
    EXPECT_EQ(events.StatusTexts().back(), "Programming flash memory #0...");
    EXPECT_EQ(events.Positions().back(), 19);  // the mismatching block counts
    EXPECT_EQ(bus.OpenCount(), 0);
}

// A record of the wrong kind, or "ERROR", in each wait.
struct WrongRecordCase {
    const char* name;
    int phase;  // 0 lower erase, 1 lower blocks, 2 upper erase, 3 upper blocks, 4 verification
    std::string record;
    FlashResult expected;
};

class BlockCrcWrongRecordTest : public BlockCrcTest,
                                public ::testing::WithParamInterface<WrongRecordCase> {};

TEST_P(BlockCrcWrongRecordTest, EndsTheRunWithItsKindOrCode) {
    const auto& param = GetParam();
    Find(true);
    device.upperFollows = true;
    // The write after which the record comes, and how long after it: inside each wait.
    struct Trigger {
        size_t write;
        uint64_t delayMs;
    };
    const Trigger triggers[] = {{0, 600}, {3, 5}, {3, 19 * 22 + 30}, {4, 5}, {5, 5}};
    const Trigger trigger = triggers[param.phase];
    size_t writes = 0;
    bus.onWrite = [&](const WriteRecord& write) {
        Answer(write);
        if (writes++ == trigger.write) {
            bus.DeliverAt(1, clock.NowMillis() + trigger.delayMs, Record(param.record));
        }
    };
    EXPECT_EQ(Run(OsImage(0x100300, 0x1234)), param.expected);
    EXPECT_EQ(bus.OpenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, BlockCrcWrongRecordTest,
    ::testing::Values(
        WrongRecordCase{"CrcWhileErasing", 0, "CRC1", MakeResult(RC_INVALID_REPLY, 5)},
        WrongRecordCase{"ReadyWhileErasing", 0, "READYOS", MakeResult(RC_INVALID_REPLY, 1)},
        WrongRecordCase{"ProgrammedWhileErasing", 0, "PROGRAMMED", MakeResult(RC_INVALID_REPLY, 4)},
        WrongRecordCase{"ErrorWhileErasing", 0, std::string("ERROR\x21\x43", 7),
                        MakeResult(RC_DEVICE_ERROR, 0x4321)},
        WrongRecordCase{"ErasedWhileProgramming", 1, "ERASED", MakeResult(RC_INVALID_REPLY, 2)},
        WrongRecordCase{"ProgrammedWhileProgramming", 1, "PROGRAMMED",
                        MakeResult(RC_INVALID_REPLY, 4)},
        WrongRecordCase{"ErrorWhileProgramming", 1, std::string("ERROR\x01\x02", 7),
                        MakeResult(RC_DEVICE_ERROR, 0x0201)},
        WrongRecordCase{"CrcWhileErasingUpper", 2, "CRC5", MakeResult(RC_INVALID_REPLY, 5)},
        WrongRecordCase{"ErasedWhileProgrammingUpper", 3, "ERASED",
                        MakeResult(RC_INVALID_REPLY, 2)},
        WrongRecordCase{"CrcWhileVerifying", 4, "CRC7", MakeResult(RC_INVALID_REPLY, 5)},
        WrongRecordCase{"ErasedWhileVerifying", 4, "ERASED", MakeResult(RC_INVALID_REPLY, 2)},
        WrongRecordCase{"ErrorWhileVerifying", 4, std::string("ERROR\x00\x00", 7),
                        MakeResult(RC_DEVICE_ERROR, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlockCrcTest, SilenceAfterStartFailsTheEraseAfter400Ticks) {
    Find(true);
    device.eraseMs.reset();
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_ERASE_FAILED));
    const auto positions = events.Positions();
    ASSERT_EQ(positions.size(), 400u);
    for (int k = 1; k <= 400; ++k) {
        EXPECT_EQ(positions[k - 1], k);
    }
    EXPECT_EQ(clock.NowMillis() - startMs, 20500u);
    const auto messages = events.Events();
    EXPECT_EQ(messages.back().tick - messages[messages.size() - 2].tick, 50u);
}

TEST_F(BlockCrcTest, ErasedInTheLastEraseTickDoesNotCount) {
    Find(true);
    device.eraseMs = 500 + 50 * 399 - 30;  // after tick 399's scan, before tick 400's
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_ERASE_FAILED));

    Restart();
    device = OsDevice{};
    Find(true);
    device.eraseMs = 500 + 50 * 398 - 30;  // one tick earlier
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_SUCCESS));
}

TEST_F(BlockCrcTest, SilenceAfterTheEndMarkerTimesOutAfter9910Ms) {
    Find(true);
    device.programmedMs.reset();
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    const auto writes = Writes();
    EXPECT_EQ(clock.NowMillis() - writes.back().atMillis, 9910u);
    auto positions = events.Positions();
    // The verification positions start at 2: the counter goes on from the block wait.
    const std::vector<int32_t> tail(positions.end() - 199, positions.end());
    for (int k = 0; k < 199; ++k) {
        EXPECT_EQ(tail[k], k + 2);
    }
}

TEST_F(BlockCrcTest, ProgrammedCountsUpToTick198Only) {
    for (auto [delay, expected] :
         {std::pair{uint64_t{10 + 50 * 195 + 30}, MakeResult(RC_SUCCESS)},
          std::pair{uint64_t{10 + 50 * 197 + 20}, MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT)}}) {
        Restart();
        device = OsDevice{};
        Find(true);
        device.programmedMs = delay;
        EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), expected) << delay;
    }
}

TEST_F(BlockCrcTest, ErrorInTheTickTheBlockWaitRunsOutIsATimeout) {
    Find(true);
    device.blockMs = 5000;  // no acknowledgement in time
    bus.onWrite = [this](const WriteRecord& write) {
        Answer(write);
        if (write.bytes.size() == 0x800) {
            bus.DeliverAt(1, clock.NowMillis() + 985, Record(std::string("ERROR\x05\x00", 7)));
        }
    };
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
}

TEST_F(BlockCrcTest, AbortInTheTickThatFindsProgrammedWins) {
    Find(true);
    device.programmedMs = 100;  // seen by the scan at +110
    bus.onWrite = [this](const WriteRecord& write) {
        Answer(write);
        if (write.bytes == Bytes(4, 0xFF)) {
            clock.AfterMillis(130, [this] { abortFlag = 1; });
        }
    };
    EXPECT_EQ(Run(OsImage(0x800, 0x7FE)), MakeResult(RC_INTERRUPTED));
    EXPECT_EQ(bus.OpenCount(), 0);
}

TEST_F(BlockCrcTest, AbortInEveryWaitInterruptsAndReleasesThePort) {
    // Moments inside the lower erase, lower blocks, upper erase, upper blocks, verification.
    for (uint64_t at : {300u, 1360u, 1800u, 2800u, 3500u}) {
        SCOPED_TRACE(at);
        Restart();
        device = OsDevice{};
        Find(true);
        device.upperFollows = true;
        device.blockMs = 200;
        device.programmedMs = 2000;
        const uint64_t t0 = clock.NowMillis();
        clock.AtMicros((t0 + at) * 1000, [this] { abortFlag = 1; });
        EXPECT_EQ(Run(OsImage(0x100300, 0x3FF)), MakeResult(RC_INTERRUPTED));
        // Seen at the end of the first tick after a phase's opening steps and 500 ms pause.
        EXPECT_LE(clock.NowMillis() - t0, at + 550);
        EXPECT_EQ(bus.OpenCount(), 0);
        abortFlag = 0;
    }
}

TEST_F(BlockCrcTest, EndMarkerWaitsForAStreamStillInTransit) {
    Find(true);
    bus.Port(1)->streamMicros = 40'000;  // the trailing partial block is still on its way
    EXPECT_EQ(Run(OsImage(0x380, 0x37E)), MakeResult(RC_SUCCESS));
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_GE(writes[4].atMillis, writes[3].atMillis + 40);
}

TEST_F(BlockCrcTest, StalledStreamEndsWithATimeoutInsteadOfALostEndMarker) {
    Find(true);
    bus.Port(1)->streamMicros = 60'000'000;
    EXPECT_EQ(Run(OsImage(0x380, 0x37E)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    EXPECT_EQ(Writes().size(), 4u);
    EXPECT_EQ(bus.OpenCount(), 0);
}

class BlockCrcAtWrapTest : public BlockCrcTest {
protected:
    BlockCrcAtWrapTest() { clock = VirtualClock(0xFFFFFFFFu - 3000); }
};

TEST_F(BlockCrcAtWrapTest, TickCountWrappingDuringTheRunChangesNothing) {
    Find(true);
    device.upperFollows = true;
    EXPECT_EQ(Run(OsImage(0x100300, 0x1234)), MakeResult(RC_SUCCESS));
}

TEST_F(BlockCrcTest, AFastLinkMayAcknowledgeManyBlocksInOneTick) {
    // A USB CDC device takes the stream at once and acknowledges a block every 2 ms: five
    // records arrive in each 10 ms tick, and none may be left to overflow the ring.
    Find(true);
    device.blockMs = 2;
    EXPECT_EQ(Run(OsImage(0x20000, 0x1FFFE)), MakeResult(RC_SUCCESS));
    EXPECT_EQ(programmer->Ports().DroppedBytes(1), 0u);
}

TEST_F(BlockCrcTest, BytesThisComputerLostAreNotBlamedOnTheDevice) {
    // Five hundred acknowledgements at once: far more than the ring holds.
    Find(true);
    device.blockMs = 0;
    EXPECT_EQ(Run(OsImage(0x20000, 0x1FFFE)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    EXPECT_EQ(detail.rfind("This computer lost ", 0), 0u) << detail;
    EXPECT_NE(detail.find(" bytes that the device sent on COM1"), std::string::npos) << detail;
}

}  // namespace
}  // namespace norvane
