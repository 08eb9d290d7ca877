// The device model driven directly: greeting, both programming protocols, every check the
// device makes, and every fault it can be told to commit.
#include <gtest/gtest.h>

#include "tests/tools/simulator/SimTestSupport.h"
#include "tools/simulator/DeviceModel.h"

namespace norvane::sim {
namespace {

using test::BuildChecksumStream;
using test::Pattern;
using test::PutLe32;
using test::Records;
using test::ReferenceCrc;
using test::ScriptHost;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

DeviceConfig Os(bool star = true, uint32_t upperLength = 0) {
    DeviceConfig c;
    c.kind = "OS";
    c.serial = "7654321";
    c.star = star;
    c.upperLength = upperLength;
    return c;
}

DeviceConfig Checksum(const char* kind = "GM") {
    DeviceConfig c;
    c.kind = kind;
    c.serial = "SER456789";
    return c;
}

// A model on a virtual clock, powered on at time 0.
struct Rig {
    explicit Rig(DeviceConfig config, FaultPlan faults = {})
        : model(std::move(config), std::move(faults)), host(model, clock) {
        model.PowerOn();
        clock.AdvanceToMicros(0);  // runs what is due at power-on
    }
    // "START" at 9600 and the host's switch as the block-CRC host does it; ends just after the
    // device's erase time. The output collected so far is cleared first.
    void Start(bool fast) {
        host.Advance(1000);
        host.all.clear();
        host.chunks.clear();
        startAt = clock.NowMicros();
        host.Feed("START");
        host.Advance(500'000);
        if (fast) {
            host.speed = 115200;
        }
        host.Advance(model.Config().eraseMicros - 500'000 + 1);
    }
    std::string Last() const { return host.chunks.empty() ? "" : host.chunks.back().bytes; }

    VirtualClock clock;
    DeviceModel model;
    ScriptHost host;
    uint64_t startAt = 0;
};

std::string CrcRecord(uint16_t crc) {
    std::string text = "CRC" + std::to_string(crc);
    text.resize(15, ' ');
    return text;
}

std::string ErrorText(uint16_t code) {
    std::string text = "ERROR";
    text += static_cast<char>(code & 0xFF);
    text += static_cast<char>(code >> 8);
    text.resize(15, ' ');
    return text;
}

// --- Reference CRC sanity -------------------------------------------------------------------

TEST(DeviceCrc, MatchesTheXmodemCheckValueAndTheTableReference) {
    const std::string digits = "123456789";
    const std::vector<uint8_t> bytes(digits.begin(), digits.end());
    EXPECT_EQ(DeviceCrc16(bytes.data(), bytes.size()), 0x31C3);
    EXPECT_EQ(ReferenceCrc(bytes, 0, bytes.size()), 0x31C3);
    const auto block = Pattern(256, 9);
    EXPECT_EQ(DeviceCrc16(block.data(), block.size()), ReferenceCrc(block, 0, 256));
    EXPECT_EQ(DeviceCrc16(nullptr, 0), 0);
}

// --- Greeting and framing -------------------------------------------------------------------

TEST(Greeting, OsRecordCarriesMarkAndSerialAndEndsWithLineFeed) {
    Rig rig(Os(true));
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.host.chunks[0].bytes, "READYOS* 765432\n");
    EXPECT_EQ(rig.host.chunks[0].at, 0u);
    Rig plain(Os(false));
    EXPECT_EQ(plain.host.chunks[0].bytes, "READYOS- 765432\n");
}

TEST(Greeting, ChecksumKindsPutTheSerialAtPositionSeven) {
    Rig tv(Checksum("TV"));
    EXPECT_EQ(tv.host.chunks[0].bytes, "READYTVSER45678\n");
    DeviceConfig noLf = Checksum("GM");
    noLf.lineFeeds = false;
    Rig gm(noLf);
    EXPECT_EQ(gm.host.chunks[0].bytes, "READYGMSER456789");
    EXPECT_EQ(gm.host.chunks[0].bytes.size(), 16u);
}

TEST(Greeting, RepeatsEveryPeriodUntilStart) {
    DeviceConfig c = Checksum();
    c.greetingPeriodMicros = 100'000;
    c.firstGreetingMicros = 30'000;
    Rig rig(c);
    rig.host.Advance(330'000);
    ASSERT_EQ(rig.host.chunks.size(), 4u);
    EXPECT_EQ(rig.host.chunks[0].at, 30'000u);
    EXPECT_EQ(rig.host.chunks[3].at, 330'000u);
    rig.host.Feed("xxSTART");
    rig.host.Advance(500'000);
    EXPECT_EQ(rig.model.Report().CountSent("READY"), 4u);
    EXPECT_EQ(rig.model.Report().greetings, 4u);
}

TEST(Greeting, UnknownKindGreetsAndIgnoresStart) {
    DeviceConfig c;
    c.kind = "XQ";
    c.serial = "000000001";
    Rig rig(c);
    EXPECT_EQ(rig.host.chunks[0].bytes, "READYXQ00000000\n");
    rig.host.Feed("START");
    rig.host.Advance(2'000'000);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Greeting);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 0u);
    EXPECT_GT(rig.model.Report().CountSent("READY"), 5u);
}

TEST(Framing, EveryRecordIsSixteenBytesWithLineFeedOnlyAtTheEnd) {
    DeviceModel model(Os());
    EXPECT_EQ(model.MakeRecord("ERASED"), "ERASED         \n");
    EXPECT_EQ(model.MakeRecord("A_VERY_LONG_TEXT_INDEED").size(), 16u);
    EXPECT_EQ(model.MakeRecord("A_VERY_LONG_TEXT_INDEED").find('\n'), 15u);
    for (uint16_t code :
         {ERR_LINE_SPEED, ERR_DATA_WHILE_ERASING, ERR_HEADER_MAGIC, ERR_HEADER_UPPER,
          ERR_HEADER_LOWER, ERR_END_MARKER, ERR_LENGTH0, ERR_LENGTH1, ERR_CHUNK_SUM, ERR_TOTAL0,
          ERR_TOTAL1, ERR_UNEXPECTED_DATA}) {
        for (int b : {code & 0xFF, code >> 8}) {
            EXPECT_NE(b, 0x0A) << code;
            EXPECT_FALSE(b >= 'a' && b <= 'z') << code;
            EXPECT_NE(b, 0) << code;
        }
        const std::string record = model.ErrorRecord(code);
        EXPECT_EQ(record.size(), 16u);
        EXPECT_EQ(record.find('\n'), 15u);
    }
}

// --- Erase ---------------------------------------------------------------------------------

TEST(Erase, ErasedComesExactlyTheEraseTimeAfterStart) {
    Rig rig(Os());
    rig.host.Advance(1000);
    rig.host.chunks.clear();
    rig.host.Feed("START");
    const uint64_t start = rig.clock.NowMicros();
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Erasing);
    rig.host.Advance(500'000);
    rig.host.speed = 115200;
    rig.host.Advance(299'999);
    EXPECT_TRUE(rig.host.chunks.empty());
    rig.host.Advance(1);
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.host.chunks[0].at, start + 800'000);
    EXPECT_EQ(rig.host.chunks[0].bytes, "ERASED         \n");
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Header);
}

TEST(Erase, RecordToAHostStillAtTheGreetingSpeedIsGarbled) {
    DeviceConfig c = Os();
    c.eraseMicros = 300'000;  // the host switches only after 500 ms
    Rig rig(c);
    rig.host.Feed("START");
    rig.host.Advance(300'000);
    ASSERT_FALSE(rig.model.Report().sent.empty());
    EXPECT_TRUE(rig.model.Report().sent.back().garbled);
    const std::string wire = rig.Last();
    EXPECT_EQ(wire.size(), 16u);
    EXPECT_EQ(wire.find('\n'), std::string::npos);
    EXPECT_EQ(wire.find("ERASED"), std::string::npos);
}

// --- Block-CRC protocol --------------------------------------------------------------------

TEST(BlockCrc, AcceptsLowerAndUpperRegionsAndAcknowledgesEveryBlock) {
    Rig rig(Os(true));
    const auto lower = Pattern(0x300, 1);
    const auto upper = Pattern(0x200, 2);
    rig.Start(true);
    ASSERT_EQ(rig.Last(), "ERASED         \n");

    std::vector<uint8_t> header;
    PutLe32(header, 0x200);
    PutLe32(header, 0x300);
    rig.host.chunks.clear();
    rig.host.Feed(header);
    rig.host.Feed(lower);
    const uint64_t fed = rig.clock.NowMicros();
    rig.host.Advance(7'000);
    ASSERT_EQ(rig.host.chunks.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(rig.host.chunks[k].bytes, CrcRecord(ReferenceCrc(lower, 256 * k, 256)) + "\n");
        EXPECT_EQ(rig.host.chunks[k].at, fed + 2'000u * (k + 1));  // blocks programmed in turn
    }
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::UpperErasing);
    rig.host.Advance(800'000);
    EXPECT_EQ(rig.Last(), "ERASED         \n");
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Upper);

    rig.host.chunks.clear();
    rig.host.Feed(upper);
    rig.host.Advance(10'000);
    ASSERT_EQ(rig.host.chunks.size(), 2u);
    EXPECT_EQ(rig.host.chunks[1].bytes, CrcRecord(ReferenceCrc(upper, 256, 256)) + "\n");
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::EndMarker);
    rig.host.Feed(Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Verifying);
    rig.host.Advance(50'000);
    EXPECT_EQ(rig.Last(), "PROGRAMMED     \n");
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Programmed);

    const DeviceReport& r = rig.model.Report();
    EXPECT_EQ(r.BytesOf(Phase::Header), header);
    EXPECT_EQ(r.BytesOf(Phase::Lower), lower);
    EXPECT_EQ(r.BytesOf(Phase::Upper), upper);
    EXPECT_EQ(r.BytesOf(Phase::EndMarker), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(r.lowerLength, 0x300u);
    EXPECT_EQ(r.upperLength, 0x200u);
    EXPECT_EQ(r.blocksAcknowledged, 5u);
    EXPECT_EQ(r.received.size(), 5u + 8 + 0x300 + 0x200 + 4);
    EXPECT_EQ(r.Find(Phase::Greeting)->byteSpeeds, std::vector<uint32_t>{9600});
    EXPECT_EQ(r.Find(Phase::Lower)->byteSpeeds, std::vector<uint32_t>{115200});
    EXPECT_EQ(r.Find(Phase::Header)->hostSpeedAtEntry, 115200u);
    EXPECT_FALSE(r.errorSent.has_value());
}

TEST(BlockCrc, DeviceWithoutStarNeedsTheMagicWordAndUsesItsOwnUpperLength) {
    Rig rig(Os(false, 0x100));
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0x00E00000);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x100, 3);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    rig.host.Advance(900'000);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Upper);
    EXPECT_EQ(rig.model.Report().upperLength, 0x100u);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 2u);
}

TEST(BlockCrc, NoUpperRegionGoesFromLowerToEndMarker) {
    Rig rig(Os(true));
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x100, 4);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    rig.host.Advance(5'000);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::EndMarker);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 1u);
}

TEST(BlockCrc, PartialLastBlockIsProgrammedWithoutAnswerUnlessConfigured) {
    for (bool ack : {false, true}) {
        DeviceConfig c = Os(true);
        c.ackPartialBlock = ack;
        Rig rig(c);
        rig.Start(true);
        std::vector<uint8_t> stream;
        PutLe32(stream, 0);
        PutLe32(stream, 300);
        const auto lower = Pattern(300, 5);
        stream.insert(stream.end(), lower.begin(), lower.end());
        rig.host.Feed(stream);
        rig.host.Advance(10'000);
        EXPECT_EQ(rig.model.Report().CountSent("CRC"), ack ? 2u : 1u);
        if (ack) {
            EXPECT_EQ(rig.Last(), CrcRecord(ReferenceCrc(lower, 256, 44)) + "\n");
        }
        EXPECT_EQ(rig.model.CurrentPhase(), Phase::EndMarker);
    }
}

struct HeaderCase {
    bool star;
    uint32_t first, second;
    uint16_t code;
};

TEST(BlockCrc, RejectsBadHeaderWords) {
    const HeaderCase cases[] = {
        {false, 0x00D00000, 0x100, ERR_HEADER_MAGIC},
        {true, 0x180, 0x100, ERR_HEADER_UPPER},
        {true, 0x1000000, 0x100, ERR_HEADER_UPPER},
        {true, 0, 0, ERR_HEADER_LOWER},
        {true, 0, 0x100001, ERR_HEADER_LOWER},
        {true, 0x100, 0x180, ERR_HEADER_LOWER},  // partial lower block before an upper region
    };
    for (const HeaderCase& c : cases) {
        Rig rig(Os(c.star));
        rig.Start(true);
        std::vector<uint8_t> header;
        PutLe32(header, c.first);
        PutLe32(header, c.second);
        rig.host.Feed(header);
        EXPECT_EQ(rig.Last(), ErrorText(c.code) + "\n") << c.first << " " << c.second;
        EXPECT_EQ(rig.model.CurrentPhase(), Phase::Failed);
        EXPECT_EQ(rig.model.Report().errorSent, c.code);
        // Silent afterwards, whatever comes.
        const size_t sent = rig.host.chunks.size();
        rig.host.Feed(Pattern(600, 1));
        rig.host.Advance(2'000'000);
        EXPECT_EQ(rig.host.chunks.size(), sent);
    }
}

TEST(BlockCrc, MagicWordIsJudgedAsSoonAsItsFourBytesAreIn) {
    Rig rig(Os(false));
    rig.Start(true);
    rig.host.Feed(Bytes({0x00, 0x00, 0xE1, 0x00}));
    EXPECT_EQ(rig.model.Report().errorSent, ERR_HEADER_MAGIC);
}

TEST(BlockCrc, RejectsAWrongEndMarkerByte) {
    Rig rig(Os(true));
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x100, 6);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    rig.host.Advance(5'000);
    rig.host.Feed(Bytes({0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(rig.model.Report().errorSent, ERR_END_MARKER);
    EXPECT_EQ(rig.model.Report().CountSent("PROGRAMMED"), 0u);
}

TEST(BlockCrc, DataDuringAnEraseIsAnError) {
    Rig rig(Os(true));
    rig.host.Feed("START");
    rig.host.Advance(600'000);
    rig.host.speed = 115200;
    rig.host.Feed(Bytes({0}));
    EXPECT_EQ(rig.model.Report().errorSent, ERR_DATA_WHILE_ERASING);
    rig.host.Advance(1'000'000);  // the erase that was under way ends without a trace
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Failed);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 0u);
}

TEST(BlockCrc, BytesBeyondTheRegionBeforeItsLastAnswerAreAnError) {
    Rig rig(Os(true));
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0x100);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x101, 6);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    EXPECT_EQ(rig.model.Report().errorSent, ERR_UNEXPECTED_DATA);
}

// --- Line speed ----------------------------------------------------------------------------

TEST(LineSpeed, BlockCrcDeviceWantsTheFastSpeedAfterStart) {
    Rig rig(Os(true));
    rig.Start(false);  // the host forgot to switch
    rig.host.Feed(Bytes({0, 0, 0, 0}));
    EXPECT_EQ(rig.model.Report().errorSent, ERR_LINE_SPEED);
    EXPECT_EQ(rig.model.Report().Find(Phase::Header)->byteSpeeds, std::vector<uint32_t>{9600});
}

TEST(LineSpeed, ChecksumDeviceWantsTheGreetingSpeedThroughout) {
    Rig rig(Checksum());
    rig.Start(true);  // switching is wrong for this kind
    rig.host.Feed(Bytes({0, 0}));
    EXPECT_EQ(rig.model.Report().errorSent, ERR_LINE_SPEED);
}

TEST(LineSpeed, StartAtAnotherSpeedIsAnError) {
    Rig rig(Checksum());
    rig.host.speed = 19200;
    rig.host.Feed("S");
    EXPECT_EQ(rig.model.Report().errorSent, ERR_LINE_SPEED);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Failed);
}

// --- Checksum protocol ---------------------------------------------------------------------

TEST(ChecksumProtocol, AcceptsBothRegionsSilentlyAndConfirms) {
    Rig rig(Checksum("TV"));
    const auto r0 = Pattern(0x200, 7);
    const auto r1 = Pattern(0x100, 8);
    const auto s = BuildChecksumStream(r0, r1);
    rig.Start(false);
    ASSERT_EQ(rig.Last(), "ERASED         \n");
    rig.host.chunks.clear();
    rig.host.Feed(s.lengths);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Region0);
    rig.host.Feed(s.region0);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Region1);
    rig.host.Feed(s.region1);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Totals);
    EXPECT_TRUE(rig.host.chunks.empty());  // silent while all is well
    rig.host.Feed(s.totals);
    rig.host.Advance(100'000);
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.Last(), "PROGRAMMED     \n");
    const DeviceReport& r = rig.model.Report();
    EXPECT_EQ(r.BytesOf(Phase::Lengths), s.lengths);
    EXPECT_EQ(r.BytesOf(Phase::Region0), s.region0);
    EXPECT_EQ(r.BytesOf(Phase::Region1), s.region1);
    EXPECT_EQ(r.BytesOf(Phase::Totals), s.totals);
    EXPECT_EQ(r.length0, 0x200u);
    EXPECT_EQ(r.length1, 0x100u);
    EXPECT_EQ(r.received.size(), 5u + 4 + 0x300 * 258 / 256 + 4);
}

TEST(ChecksumProtocol, EmptyRegionsGoStraightToTheTotals) {
    Rig rig(Checksum());
    rig.Start(false);
    rig.host.Feed(Bytes({0, 0, 0, 0}));
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Totals);
    rig.host.Feed(Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    rig.host.Advance(100'000);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Programmed);
    EXPECT_EQ(rig.model.Report().Find(Phase::Region0), nullptr);
}

TEST(ChecksumProtocol, RejectsBadLengthsSumsAndTotals) {
    const auto r0 = Pattern(0x100, 9);
    const auto r1 = Pattern(0x200, 10);
    auto run = [&](auto corrupt) {
        Rig rig(Checksum());
        rig.Start(false);
        auto s = BuildChecksumStream(r0, r1);
        corrupt(s);
        std::vector<uint8_t> all = s.lengths;
        for (const auto* part : {&s.region0, &s.region1, &s.totals}) {
            all.insert(all.end(), part->begin(), part->end());
        }
        rig.host.Feed(all);
        rig.host.Advance(100'000);
        EXPECT_EQ(rig.model.CurrentPhase(), Phase::Failed);
        EXPECT_EQ(rig.model.Report().CountSent("PROGRAMMED"), 0u);
        return rig.model.Report().errorSent.value_or(0);
    };
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.lengths[0] = 0x80; }), ERR_LENGTH0);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.lengths[1] = 0xA0; }), ERR_LENGTH0);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.lengths[3] = 0xC0; }), ERR_LENGTH1);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.region0[5] ^= 1; }), ERR_CHUNK_SUM);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.region1[258 + 257] ^= 1; }), ERR_CHUNK_SUM);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.totals[1] ^= 1; }), ERR_TOTAL0);
    EXPECT_EQ(run([](test::ChecksumStream& s) { s.totals[2] ^= 1; }), ERR_TOTAL1);
}

TEST(ChecksumProtocol, ErrorIsSentAtOnceWhenTheBadSumArrives) {
    Rig rig(Checksum());
    rig.Start(false);
    auto s = BuildChecksumStream(Pattern(0x200, 11), {});
    s.region0[256] ^= 0x40;
    rig.host.Feed(s.lengths);
    rig.host.chunks.clear();
    rig.host.Feed(std::vector<uint8_t>(s.region0.begin(), s.region0.begin() + 258));
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.host.chunks[0].at, rig.clock.NowMicros());
    EXPECT_EQ(rig.host.chunks[0].bytes, ErrorText(ERR_CHUNK_SUM) + "\n");
}

// --- Faults --------------------------------------------------------------------------------

TEST(Faults, SilenceFromAPhaseOn) {
    FaultPlan f;
    f.silentFrom = Phase::Erasing;
    Rig rig(Checksum(), f);
    rig.Start(false);
    rig.host.Advance(3'000'000);
    EXPECT_TRUE(rig.host.chunks.empty());
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Lengths);  // it goes on, it only keeps quiet

    FaultPlan g;
    g.silentFrom = Phase::Greeting;
    Rig mute(Os(), g);
    mute.host.Advance(2'000'000);
    EXPECT_TRUE(mute.host.chunks.empty());
}

TEST(Faults, ErrorInsteadOfAReply) {
    FaultPlan f;
    f.errorAt = FaultPoint{Phase::Lower, 1};
    f.errorCode = 0x0E07;
    Rig rig(Os(), f);
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0);
    PutLe32(stream, 0x300);
    const auto lower = Pattern(0x300, 12);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.chunks.clear();
    rig.host.Feed(stream);
    rig.host.Advance(100'000);
    ASSERT_EQ(rig.host.chunks.size(), 2u);
    EXPECT_EQ(rig.host.chunks[0].bytes.substr(0, 3), "CRC");
    EXPECT_EQ(rig.host.chunks[1].bytes, ErrorText(0x0E07) + "\n");
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Failed);
}

TEST(Faults, ErrorAtTheGreetingOrTheErase) {
    FaultPlan f;
    f.errorAt = FaultPoint{Phase::Greeting, 2};
    Rig rig(Checksum(), f);
    rig.host.Advance(2'000'000);
    EXPECT_EQ(rig.model.Report().CountSent("READY"), 2u);
    EXPECT_EQ(rig.model.Report().CountSent("ERROR"), 1u);
    EXPECT_EQ(rig.host.chunks.size(), 3u);

    FaultPlan g;
    g.errorAt = FaultPoint{Phase::Erasing, 0};
    Rig erase(Checksum(), g);
    erase.Start(false);
    EXPECT_EQ(erase.Last(), ErrorText(0x4242) + "\n");
    EXPECT_EQ(erase.host.chunks.back().at, erase.startAt + 800'000);
}

TEST(Faults, ErrorAfterSomeBytesOfASilentPhase) {
    FaultPlan f;
    f.errorAt = FaultPoint{Phase::Region0, 258};  // after the first chunk and its sum
    Rig rig(Checksum(), f);
    rig.Start(false);
    const auto s = BuildChecksumStream(Pattern(0x300, 13), {});
    rig.host.chunks.clear();
    rig.host.Feed(s.lengths);
    rig.host.Feed(std::vector<uint8_t>(s.region0.begin(), s.region0.begin() + 257));
    EXPECT_TRUE(rig.host.chunks.empty());
    rig.host.Feed(std::vector<uint8_t>(s.region0.begin() + 257, s.region0.end()));
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.Last(), ErrorText(0x4242) + "\n");
    EXPECT_EQ(rig.model.Report().BytesOf(Phase::Failed).size(), s.region0.size() - 258);
}

TEST(Faults, UnexpectedRecordKinds) {
    // "PROGRAMMED" during the search: replaces the first greeting; greeting goes on.
    FaultPlan f;
    f.unexpectedAt = FaultPoint{Phase::Greeting, 0};
    Rig rig(Os(), f);
    rig.host.Advance(300'000);
    ASSERT_EQ(rig.host.chunks.size(), 2u);
    EXPECT_EQ(rig.host.chunks[0].bytes, "PROGRAMMED     \n");
    EXPECT_EQ(rig.host.chunks[1].bytes.substr(0, 7), "READYOS");

    // "ERASED" in place of the CRC of upper block 0.
    FaultPlan g;
    g.unexpectedAt = FaultPoint{Phase::Upper, 0};
    g.unexpectedText = "ERASED";
    Rig up(Os(true), g);
    up.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0x100);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x100, 14);
    stream.insert(stream.end(), lower.begin(), lower.end());
    up.host.Feed(stream);
    up.host.Advance(900'000);
    up.host.chunks.clear();
    up.host.Feed(Pattern(0x100, 15));
    up.host.Advance(10'000);
    ASSERT_EQ(up.host.chunks.size(), 1u);
    EXPECT_EQ(up.host.chunks[0].bytes, "ERASED         \n");

    // "CRC" during verification: instead of "PROGRAMMED".
    FaultPlan h;
    h.unexpectedAt = FaultPoint{Phase::Verifying, 0};
    h.unexpectedText = "CRC1";
    Rig ver(Checksum(), h);
    ver.Start(false);
    ver.host.Feed(Bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    ver.host.Advance(100'000);
    EXPECT_EQ(ver.Last(), "CRC1           \n");
    EXPECT_EQ(ver.model.Report().CountSent("PROGRAMMED"), 0u);
}

TEST(Faults, WrongCrcForOneBlockCountedOverBothRegions) {
    FaultPlan f;
    f.wrongCrcBlock = 2;
    Rig rig(Os(true), f);
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0x100);
    PutLe32(stream, 0x200);
    const auto lower = Pattern(0x200, 16);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    rig.host.Advance(900'000);
    rig.host.chunks.clear();
    const auto upper = Pattern(0x100, 17);
    rig.host.Feed(upper);
    rig.host.Advance(10'000);
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.host.chunks[0].bytes,
              CrcRecord(static_cast<uint16_t>(ReferenceCrc(upper, 0, 256) + 1)) + "\n");
}

TEST(Faults, NoiseAndStrayLineFeedsPrecedeEveryRecord) {
    FaultPlan f;
    f.noise = "#~\x01";
    f.strayLineFeeds = 2;
    Rig rig(Checksum(), f);
    ASSERT_EQ(rig.host.chunks.size(), 1u);
    EXPECT_EQ(rig.host.chunks[0].bytes, std::string("#~\x01\n\nREADYGMSER45678\n"));
    EXPECT_EQ(rig.model.Report().sent[0].bytes, "READYGMSER45678\n");
}

TEST(Faults, DisconnectAfterSomeBytes) {
    FaultPlan f;
    f.disconnectAfterBytes = 7;
    Rig rig(Checksum(), f);
    rig.Start(false);
    rig.host.Feed(Bytes({0, 1, 0, 1}));
    EXPECT_EQ(rig.host.disconnects, 1);
    EXPECT_EQ(rig.model.CurrentPhase(), Phase::Disconnected);
    EXPECT_EQ(rig.model.Report().received.size(), 7u);
    const size_t sent = rig.host.chunks.size();
    rig.host.Advance(2'000'000);
    EXPECT_EQ(rig.host.chunks.size(), sent);
}

TEST(Faults, SlowEraseOnlyWhereAsked) {
    FaultPlan f;
    f.slowErasePhase = Phase::UpperErasing;
    f.slowEraseExtraMicros = 5'000'000;
    Rig rig(Os(true), f);
    rig.Start(true);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 1u);  // the first erase is normal
    std::vector<uint8_t> stream;
    PutLe32(stream, 0x100);
    PutLe32(stream, 0x100);
    const auto lower = Pattern(0x100, 18);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.Feed(stream);
    rig.host.Advance(5'000'000);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 1u);
    rig.host.Advance(1'000'000);
    EXPECT_EQ(rig.model.Report().CountSent("ERASED"), 2u);
}

TEST(Faults, SlowBlocksDelayTheirAnswers) {
    FaultPlan f;
    f.slowBlock = 1;
    f.slowBlockExtraMicros = 400'000;
    Rig rig(Os(true), f);
    rig.Start(true);
    std::vector<uint8_t> stream;
    PutLe32(stream, 0);
    PutLe32(stream, 0x300);
    const auto lower = Pattern(0x300, 19);
    stream.insert(stream.end(), lower.begin(), lower.end());
    rig.host.chunks.clear();
    rig.host.Feed(stream);
    const uint64_t fed = rig.clock.NowMicros();
    rig.host.Advance(500'000);
    ASSERT_EQ(rig.host.chunks.size(), 3u);
    EXPECT_EQ(rig.host.chunks[0].at, fed + 2'000);
    EXPECT_EQ(rig.host.chunks[1].at, fed + 404'000);
    EXPECT_EQ(rig.host.chunks[2].at, fed + 406'000);  // blocks are programmed one after another
}

TEST(Faults, PhaseNamesRoundTrip) {
    for (int p = 0; p <= static_cast<int>(Phase::Disconnected); ++p) {
        const auto phase = static_cast<Phase>(p);
        EXPECT_EQ(PhaseFromName(PhaseName(phase)), phase);
    }
    EXPECT_FALSE(PhaseFromName("nonsense").has_value());
}

}  // namespace
}  // namespace norvane::sim
