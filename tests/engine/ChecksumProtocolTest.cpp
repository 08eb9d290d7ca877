// The checksum protocol in virtual time against a scripted GM/TV device: the bytes on the
// wire, the waits and every result.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "engine/Image.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ReferenceWire.h"

namespace norvane {
namespace {

using test::Bytes;
using test::ChecksumWire;
using test::EngineFixture;
using test::WriteRecord;

constexpr uint32_t kRegion0 = 0x2000;
constexpr uint32_t kRegion1 = 0x10000;

// A TV image whose regions hold random code up to the given region offsets (none: empty).
Bytes TvImage(std::optional<uint32_t> last0, std::optional<uint32_t> last1) {
    Bytes image(0x20000, 0xFF);
    std::mt19937 random(7);
    image[0x100] = 'T';
    image[0x101] = 'V';
    if (last0) {
        for (uint32_t i = 0; i <= *last0; ++i) {
            image[kRegion0 + i] = static_cast<uint8_t>(random() % 0xFF);
        }
    }
    if (last1) {
        for (uint32_t i = 0; i <= *last1; ++i) {
            image[kRegion1 + i] = static_cast<uint8_t>(random() % 0xFF);
        }
    }
    return image;
}

// A scripted device: "ERASED" after "START", silence while the data flows, "PROGRAMMED"
// after the second complemented total. Unset delays keep it silent.
struct TvDevice {
    std::optional<uint64_t> eraseMs = 700;
    std::optional<uint64_t> programmedMs = 120;
    int writesAfterStart = -1;
    uint32_t chunks = 0;
};

class ChecksumTest : public EngineFixture {
protected:
    void Find() {
        bus.Present(1);
        bus.DeliverOnOpen(1, Greeting("TV", "12345678"));
        ASSERT_EQ(programmer->SearchDevice(&abortFlag).result, MakeResult(RC_FOUND_TV));
        events.Clear();
        bus.onWrite = [this](const WriteRecord& write) { Answer(write); };
    }

    void Answer(const WriteRecord& write) {
        if (write.bytes == Bytes{'S', 'T', 'A', 'R', 'T'}) {
            device.writesAfterStart = 0;
            if (device.eraseMs) {
                bus.DeliverAt(1, clock.NowMillis() + *device.eraseMs, Record("ERASED"));
            }
            return;
        }
        const int n = ++device.writesAfterStart;
        if (n <= 2) {
            device.chunks += (write.bytes[0] | write.bytes[1] << 8) / 256;
        } else if (n == 2 + 2 * int(device.chunks) + 2 && device.programmedMs) {
            bus.DeliverAt(1, clock.NowMillis() + *device.programmedMs, Record("PROGRAMMED"));
        }
    }

    FlashResult Run(const Bytes& image) {
        startMs = clock.NowMillis();
        const StepOutcome outcome = programmer->RunChecksumProtocol(image, &abortFlag);
        detail = outcome.detail;
        return outcome.result;
    }
    Bytes Wire() const {
        Bytes wire;
        for (const auto& write : bus.AllWrites()) {
            wire.insert(wire.end(), write.bytes.begin(), write.bytes.end());
        }
        return wire;
    }

    TvDevice device;
    uint64_t startMs = 0;
    std::string detail;  // the run's second text
};

TEST_F(ChecksumTest, BothRegionsGoOutInChunksWithSumsAndComplementedTotals) {
    Find();
    const Bytes image = TvImage(0x1234, 0x2345);
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(Wire(), ChecksumWire(image, 0x1300, 0x2400));
    for (const auto& write : bus.AllWrites()) {
        EXPECT_TRUE(write.wait);
        EXPECT_EQ(write.lineSpeed, 9600u);
    }
    EXPECT_EQ(events.StatusTexts(),
              (std::vector<std::string>{
                  "Erasing flash memory...", "Programming flash memory (block #0)...",
                  "Programming flash memory (block #1)...", "Verifying correct programming..."}));
    // One bar over both regions: the second region's phase carries on where the first ended.
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{400, 0x3700, 0x3700, 200}));
    const auto phases = events.All<JobEvent::Phase>();
    EXPECT_EQ(phases[2].position, 0x1300);
    const auto positions = events.Positions();
    const int eraseTicks = 700 / 50 + 1;
    // Erase ticks 1..15, then bytes sent after each chunk.
    EXPECT_EQ(positions[eraseTicks], 256);
    EXPECT_EQ(positions[eraseTicks - 1 + 0x37], 0x3700);
    EXPECT_EQ(bus.OpenCount(), 0);
}

TEST_F(ChecksumTest, EmptyRegionsSendZeroLengthsAndFFTotals) {
    Find();
    Bytes image = TvImage(std::nullopt, 0xFF);
    image[kRegion0] = 0x12;  // region offset 0 is never examined
    EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
    EXPECT_EQ(Wire(), ChecksumWire(image, 0, 0x100));
    const Bytes wire = Wire();
    EXPECT_EQ(Bytes(wire.end() - 4, wire.end() - 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(events.StatusTexts()[1], "Programming flash memory (block #0)...");

    Restart();
    device = TvDevice{};
    Find();
    const Bytes blank = TvImage(std::nullopt, std::nullopt);
    EXPECT_EQ(Run(blank), MakeResult(RC_SUCCESS));
    EXPECT_EQ(Wire(), (Bytes{'S', 'T', 'A', 'R', 'T', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{400, 0, 0, 200}));
    EXPECT_EQ(events.StatusTexts().size(), 4u);
}

TEST_F(ChecksumTest, RegionLengthsRoundUpToWholeChunks) {
    struct Case {
        uint32_t last;
        uint32_t rounded;
    };
    for (const Case c : {Case{0x9EFD, 0x9F00}, Case{0xFF, 0x100}, Case{0x100, 0x200}}) {
        SCOPED_TRACE(c.last);
        Restart();
        device = TvDevice{};
        Find();
        const Bytes image = TvImage(c.last, std::nullopt);
        EXPECT_EQ(Run(image), MakeResult(RC_SUCCESS));
        EXPECT_EQ(Wire(), ChecksumWire(image, c.rounded, 0));
    }
}

TEST_F(ChecksumTest, ErasedCountsUpToTick399Only) {
    for (auto [delay, expected] :
         {std::pair{uint64_t{50 * 398 - 20}, MakeResult(RC_SUCCESS)},
          std::pair{uint64_t{50 * 399 - 20}, MakeResult(RC_ERASE_FAILED)}}) {
        Restart();
        device = TvDevice{};
        Find();
        device.eraseMs = delay;
        EXPECT_EQ(Run(TvImage(0x100, 0x100)), expected) << delay;
    }
}

TEST_F(ChecksumTest, SilentEraseFailsAfter400TicksOf50Ms) {
    Find();
    device.eraseMs.reset();
    EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_ERASE_FAILED));
    EXPECT_EQ(clock.NowMillis() - startMs, 20000u);
    EXPECT_EQ(events.Positions().size(), 400u);
    EXPECT_EQ(Wire(), (Bytes{'S', 'T', 'A', 'R', 'T'}));
    EXPECT_EQ(bus.OpenCount(), 0);
}

TEST_F(ChecksumTest, ProgrammedCountsUpToTick199Only) {
    for (auto [delay, expected] :
         {std::pair{uint64_t{50 * 198 - 20}, MakeResult(RC_SUCCESS)},
          std::pair{uint64_t{50 * 199 - 20}, MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT)}}) {
        Restart();
        device = TvDevice{};
        Find();
        device.programmedMs = delay;
        EXPECT_EQ(Run(TvImage(0x100, 0x100)), expected) << delay;
    }
}

TEST_F(ChecksumTest, SilentVerificationTimesOutAfter10Seconds) {
    Find();
    device.programmedMs.reset();
    EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    EXPECT_EQ(clock.NowMillis() - bus.AllWrites().back().atMillis, 10000u);
    const auto positions = events.Positions();
    EXPECT_EQ(positions.back(), 200);
}

TEST_F(ChecksumTest, AChunkTheLineDidNotTakeEndsTheRunAndSaysSo) {
    Find();
    int chunks = 0;
    // A stalled device: the third chunk is not taken within the write's limit.
    bus.refuseWrite = [&](const WriteRecord& write) {
        return write.bytes.size() >= 256 && ++chunks == 3;
    };
    EXPECT_EQ(Run(TvImage(0x1234, 0x2345)), MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT));
    EXPECT_EQ(chunks, 3) << "nothing is sent after the chunk the line refused";
    EXPECT_EQ(detail,
              "COM1 did not take the data within its time limit: the device or the adapter held "
              "the line.");
}

TEST_F(ChecksumTest, TheDevicesOwnCodeFFFFIsNotCalledATimeout) {
    Find();
    bus.onWrite = [this](const WriteRecord& write) {
        if (write.bytes == Bytes{'S', 'T', 'A', 'R', 'T'}) {
            bus.DeliverAt(1, clock.NowMillis() + 120, Record(std::string("ERROR\xff\xff", 7)));
        }
    };
    EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_DEVICE_ERROR, 0xFFFF));
    EXPECT_EQ(detail, "The device reported error ffff during the erase.");
    EXPECT_LT(clock.NowMillis() - startMs, 1000u) << "it ended with the record, not at a limit";
}

TEST_F(ChecksumTest, ErrorRightAfterTheLengthsStopsBeforeAnyChunk) {
    Find();
    int writes = 0;
    bus.onWrite = [&](const WriteRecord& write) {
        Answer(write);
        if (++writes == 3) {  // the second length: the device answers at once
            bus.Port(1)->Deliver(Record(std::string("ERROR\x42\x00", 7)));
        }
    };
    EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_DEVICE_ERROR, 0x42));
    EXPECT_EQ(bus.AllWrites().size(), 3u);
    EXPECT_EQ(events.StatusTexts().size(), 1u);
}

TEST_F(ChecksumTest, SilenceAfterTheLengthsSendsTheFirstChunkAtOnce) {
    Find();
    EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_SUCCESS));
    const auto writes = bus.AllWrites();
    EXPECT_EQ(writes[3].bytes.size(), 256u);
    EXPECT_EQ(writes[3].atMillis, writes[2].atMillis);
}

TEST_F(ChecksumTest, RecordDuringProgrammingStopsTheChunksAfterThatScan) {
    for (auto [record, expected] :
         {std::pair{std::string("ERROR\x01\x80", 7), MakeResult(RC_DEVICE_ERROR, 0x8001)},
          std::pair{std::string("ERASED"), MakeResult(RC_INVALID_REPLY, 2)},
          std::pair{std::string("CRC1"), MakeResult(RC_INVALID_REPLY, 5)}}) {
        Restart();
        device = TvDevice{};
        Find();
        int writes = 0;
        bus.onWrite = [&, record = record](const WriteRecord& write) {
            Answer(write);
            if (++writes == 6) {  // the sum of the second chunk
                bus.Port(1)->Deliver(Record(record));
            }
        };
        EXPECT_EQ(Run(TvImage(0x1000, 0x1000)), expected);
        EXPECT_EQ(bus.AllWrites().size(), 7u);  // START, lengths, two chunks with sums
        // The position of the chunk whose scan found the record is posted all the same.
        EXPECT_EQ(events.Positions().back(), 512);
    }
}

TEST_F(ChecksumTest, WrongRecordsWhileErasingAndVerifying) {
    struct Case {
        bool erasing;
        std::string record;
        FlashResult expected;
    };
    for (const Case& c :
         {Case{true, "READYTV", MakeResult(RC_INVALID_REPLY, 1)},
          Case{true, "PROGRAMMED", MakeResult(RC_INVALID_REPLY, 4)},
          Case{true, "CRC", MakeResult(RC_INVALID_REPLY, 5)},
          Case{true, std::string("ERROR\xff\xfe", 7), MakeResult(RC_DEVICE_ERROR, 0xFEFF)},
          Case{false, "ERASED", MakeResult(RC_INVALID_REPLY, 2)},
          Case{false, "READY", MakeResult(RC_INVALID_REPLY, 1)},
          Case{false, std::string("ERROR\x07\x00", 7), MakeResult(RC_DEVICE_ERROR, 7)}}) {
        SCOPED_TRACE(c.record);
        Restart();
        device = TvDevice{};
        Find();
        int writes = 0;
        if (c.erasing) {
            device.eraseMs = 1000;
            bus.DeliverAt(1, clock.NowMillis() + 300, Record(c.record));
        } else {
            device.programmedMs = 1000;
            bus.onWrite = [&](const WriteRecord& write) {
                Answer(write);
                if (++writes == 9) {  // the second total
                    bus.DeliverAt(1, clock.NowMillis() + 300, Record(c.record));
                }
            };
        }
        EXPECT_EQ(Run(TvImage(0xFF, 0xFF)), c.expected);
        EXPECT_EQ(bus.OpenCount(), 0);
    }
}

TEST_F(ChecksumTest, LateErrorIsSeenInTheVerificationWaitAfterTheTotals) {
    Find();
    int writes = 0;
    bus.onWrite = [&](const WriteRecord& write) {
        Answer(write);
        if (++writes == 8) {  // the first total: after the last chunk's scan
            bus.Port(1)->Deliver(Record(std::string("ERROR\x33\x00", 7)));
        }
    };
    EXPECT_EQ(Run(TvImage(0xFF, 0xFF)), MakeResult(RC_DEVICE_ERROR, 0x33));
    EXPECT_EQ(bus.AllWrites().size(), 9u);  // both totals were sent
}

TEST_F(ChecksumTest, AbortDuringTheLastChunkKeepsTheTotalsBack) {
    Find();
    int writes = 0;
    bus.onWrite = [&](const WriteRecord& write) {
        Answer(write);
        if (++writes == 6) {  // the last chunk of region 1
            abortFlag = 1;
        }
    };
    EXPECT_EQ(Run(TvImage(0xFF, 0xFF)), MakeResult(RC_INTERRUPTED));
    EXPECT_EQ(bus.AllWrites().size(), 7u);  // its sum went out, the totals did not
    EXPECT_EQ(bus.OpenCount(), 0);
}

TEST_F(ChecksumTest, AbortWhileErasingOrVerifyingEndsAtTheTick) {
    for (uint64_t at : {uint64_t{200}, uint64_t{800}}) {
        Restart();
        device = TvDevice{};
        Find();
        device.programmedMs = 5000;
        clock.AtMicros((clock.NowMillis() + at) * 1000, [this] { abortFlag = 1; });
        EXPECT_EQ(Run(TvImage(0x100, 0x100)), MakeResult(RC_INTERRUPTED));
        EXPECT_LE(clock.NowMillis() - startMs, at + 50);
        EXPECT_EQ(bus.OpenCount(), 0);
    }
}

}  // namespace
}  // namespace norvane
