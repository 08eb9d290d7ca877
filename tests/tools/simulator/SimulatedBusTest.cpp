// The virtual-time transport: the port bank, wire timing in both directions, the receive
// ring, waiting and background writes, and whole programming runs through a port.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/tools/simulator/SimTestSupport.h"
#include "tools/simulator/SimulatedBus.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::sim {
namespace {

using test::BuildChecksumStream;
using test::Pattern;
using test::PutLe32;
using test::ReferenceCrc;

// A port opened on a line with a receiver on a 1000-byte ring, and a reader that returns the
// ring's new bytes.
struct Client {
    Client(SimulatedBus& bus, int n, uint32_t baud = 9600) : port(bus.Factory()()) {
        const std::string name = "COM" + std::to_string(n);
        opened = port->Open(name.c_str(), baud, "8N1", MODE_RECEIVER);
        if (opened) {
            port->StartReceiver(ring.data(), static_cast<uint32_t>(ring.size()), &writeIndex,
                                &readIndex);
        }
    }
    std::string Take() {
        std::string out;
        const uint32_t end = writeIndex.load(std::memory_order_acquire);
        while (readIndex != end) {
            out += static_cast<char>(ring[readIndex]);
            readIndex = (readIndex + 1) % ring.size();
        }
        return out;
    }
    void Drop() { readIndex = writeIndex.load(std::memory_order_acquire); }
    bool Write(const std::vector<uint8_t>& bytes, bool wait) {
        return port->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), wait);
    }
    bool Write(const std::string& text, bool wait) {
        return port->Write(text.data(), static_cast<uint32_t>(text.size()), wait);
    }

    std::unique_ptr<SerialPort> port;
    bool opened = false;
    std::vector<uint8_t> ring = std::vector<uint8_t>(1000, 0xAA);
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
};

DeviceConfig Quiet(const char* kind) {
    DeviceConfig c;
    c.kind = kind;
    c.serial = "ABCDEFGHI";
    c.firstGreetingMicros = 10'000'000;  // keeps the line quiet in timing tests
    return c;
}

// --- Port bank -----------------------------------------------------------------------------

TEST(BusPorts, AbsentPortsFailIdleAndDevicePortsOpen) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    bus.SetIdle(2);
    bus.Attach(3, Quiet("TV"));
    std::vector<std::unique_ptr<Client>> clients;
    for (int n = 1; n <= 8; ++n) {
        clients.push_back(std::make_unique<Client>(bus, n));
    }
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(clients[n - 1]->opened, n == 2 || n == 3) << n;
    }
    EXPECT_EQ(bus.OpenCount(), 2);
    EXPECT_TRUE(bus.IsOpen(3));
    EXPECT_EQ(bus.HostLineSpeed(3), 9600u);
    EXPECT_EQ(bus.PortsCreated(), 8);
    // A second open of a line in use fails.
    Client again(bus, 3);
    EXPECT_FALSE(again.opened);
    auto bad = bus.Factory()();
    EXPECT_FALSE(bad->Open("COM9", 9600, "8N1", MODE_RECEIVER));
    EXPECT_FALSE(bad->Open("LPT1", 9600, "8N1", MODE_RECEIVER));
    clients[1]->port->Close();
    clients[1]->port->Close();  // twice is harmless
    EXPECT_EQ(bus.OpenCount(), 1);
    EXPECT_EQ(bus.MaxOpenCount(), 2);
    clients.clear();  // destruction closes
    EXPECT_EQ(bus.OpenCount(), 0);

    int opened = 0, closed = 0, failed = 0;
    for (const PortEvent& e : bus.Events()) {
        opened += e.kind == PortEvent::Opened;
        closed += e.kind == PortEvent::Closed;
        failed += e.kind == PortEvent::OpenFailed;
    }
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(closed, 2);
    EXPECT_EQ(failed, 6 + 1 + 2);
}

// --- Wire timing ---------------------------------------------------------------------------

// A waiting write returns as a UART driver's does: with a 16-byte FIFO's worth still to go.
TEST(BusWire, WaitingWriteTakesTenBitsPerByteAndLeavesAFifoOnTheLine) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(1, Quiet("GM"));
    Client c(bus, 1);
    const auto bytes = Pattern(258, 1);
    EXPECT_TRUE(c.Write(bytes, true));
    EXPECT_EQ(clock.NowMicros(), 268'750u - 16'667u);
    EXPECT_EQ(device.Report().received.size(), 258u - 17u);  // the 17th from the end: 1 us on
    // A change of speed lets the bytes handed over leave at the old one first.
    c.port->SetLineSpeed(115200);
    EXPECT_EQ(clock.NowMicros(), 268'750u);
    EXPECT_EQ(device.Report().received, bytes);
    // At 115200: 32 bytes take 2777.8 us, 16 of them 1388.9, rounded up to whole microseconds.
    EXPECT_TRUE(c.Write(std::string(32, 'x'), true));
    EXPECT_EQ(clock.NowMicros() - 268'750u, 2778u - 1389u);
    EXPECT_TRUE(c.Write(std::string(16, 'x'), true));  // behind the 16 still on the line
    EXPECT_EQ(clock.NowMicros() - 268'750u, 2778u);
}

TEST(BusWire, BytesReachTheDeviceOneByOneAtTheirArrivalTimes) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(1, Quiet("GM"));
    Client c(bus, 1);
    EXPECT_TRUE(c.Write(std::string("ST"), false));
    clock.AdvanceToMicros(1041);
    EXPECT_EQ(device.Report().received.size(), 0u);
    clock.AdvanceToMicros(1042);
    EXPECT_EQ(device.Report().received.size(), 1u);
    clock.AdvanceToMicros(2084);
    EXPECT_EQ(device.Report().received.size(), 2u);
}

TEST(BusWire, WaitingWriteLimitFollowsTheOpeningSpeed) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    bus.SetIdle(4);
    Client c(bus, 4, 115200);
    c.port->SetLineSpeed(1200);  // 100 bytes now take 833 ms; the limit stays 500 ms
    EXPECT_FALSE(c.Write(Pattern(100, 2), true));
    EXPECT_EQ(clock.NowMicros(), 500'000u);

    VirtualClock clock2;
    SimulatedBus bus2(clock2);
    bus2.SetIdle(4);
    Client d(bus2, 4, 9600);
    EXPECT_TRUE(d.Write(Pattern(256, 3), true));  // 266.7 ms within 800 ms
    EXPECT_EQ(clock2.NowMicros(), 266'667u - 16'667u);
}

TEST(BusWire, BackgroundWriteReturnsAtOnceAndRefusesASecondMeanwhile) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(2, Quiet("GM"));
    Client c(bus, 2);
    EXPECT_FALSE(c.port->TransferInProgress());
    EXPECT_TRUE(c.Write(Pattern(96, 4), false));
    EXPECT_EQ(clock.NowMicros(), 0u);
    EXPECT_TRUE(c.port->TransferInProgress());
    EXPECT_FALSE(c.Write(std::string("x"), false));
    clock.Sleep(99);
    EXPECT_TRUE(c.port->TransferInProgress());
    EXPECT_EQ(device.Report().received.size(), 95u);
    clock.Sleep(1);
    EXPECT_FALSE(c.port->TransferInProgress());
    EXPECT_EQ(device.Report().received, Pattern(96, 4));
    EXPECT_TRUE(c.Write(std::string("x"), false));
}

TEST(BusWire, ALongStreamGoesOutInTheBackgroundAtTheFastSpeed) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(2, Quiet("GM"));
    Client c(bus, 2);
    c.port->SetLineSpeed(115200);
    const auto bytes = Pattern(0x40000, 5);
    EXPECT_TRUE(c.Write(bytes, false));
    const uint64_t end = (0x40000ull * 10'000'000 + 115199) / 115200;
    clock.AdvanceToMicros(end - 1);
    EXPECT_TRUE(c.port->TransferInProgress());
    EXPECT_EQ(device.Report().received.size(), 0x40000u - 1);
    clock.AdvanceToMicros(end);
    EXPECT_FALSE(c.port->TransferInProgress());
    EXPECT_EQ(device.Report().received, bytes);
    // The greeting device rejected the fast bytes and fell silent; no callback is left over.
    EXPECT_EQ(device.Report().errorSent, ERR_LINE_SPEED);
    EXPECT_EQ(clock.PendingCount(), 0u);
}

TEST(BusWire, ClosingDropsBytesStillOnTheirWay) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(2, Quiet("GM"));
    Client c(bus, 2);
    EXPECT_TRUE(c.Write(std::string(10, 'z'), false));
    clock.AdvanceToMicros(5'000);
    c.port->Close();
    clock.Sleep(100);
    EXPECT_EQ(device.Report().received.size(), 4u);
}

TEST(BusWire, WaitingWriteQueuesBehindABackgroundWrite) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceModel& device = bus.Attach(2, Quiet("GM"));
    Client c(bus, 2);
    EXPECT_TRUE(c.Write(std::string(10, 'a'), false));
    EXPECT_TRUE(c.Write(std::string(10, 'b'), true));
    EXPECT_EQ(clock.NowMicros(), 20'834u - 16'667u);
    clock.AdvanceToMicros(20'834);
    EXPECT_EQ(std::string(device.Report().received.begin(), device.Report().received.end()),
              "aaaaaaaaaabbbbbbbbbb");
}

TEST(BusWire, DeviceRecordArrivesAtTheHostLineSpeed) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg = Quiet("TV");
    cfg.firstGreetingMicros = 0;
    Client* client = nullptr;
    bus.Attach(3, cfg, {}, false);
    Client c(bus, 3);
    client = &c;
    // Power on after the port is open: the greeting starts at 0 and lasts 16.667 ms.
    bus.Device(3)->PowerOn();
    clock.AdvanceToMicros(16'666);
    EXPECT_EQ(client->Take(), "READYTVABCDEFGH");
    clock.AdvanceToMicros(16'667);
    EXPECT_EQ(client->Take(), "\n");
    EXPECT_EQ(c.writeIndex.load(), 16u);
    EXPECT_EQ(c.ring[16], 0) << "the receiver zero-fills the ring";
}

TEST(BusWire, RawBytesOnAnIdleLineReachItsPort) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    bus.SetIdle(8);
    Client c(bus, 8);
    bus.SendRaw(8, "READYTV");
    bus.SendRaw(2, "lost");  // absent line: nothing
    clock.AdvanceToMicros(5'209);
    EXPECT_EQ(c.Take(), "READY");
    clock.Sleep(10);
    EXPECT_EQ(c.Take(), "TV");
}

// --- Receive ring --------------------------------------------------------------------------

TEST(BusRing, WrapsAtItsSizeAndDropsWhatFindsItFull) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg = Quiet("TV");
    cfg.firstGreetingMicros = 0;
    cfg.greetingPeriodMicros = 20'000;
    bus.Attach(5, cfg);
    Client c(bus, 5);
    clock.Sleep(20 * 61 + 17);  // 62 greetings: 992 bytes
    EXPECT_EQ(c.Take().size(), 992u);
    clock.Sleep(20);  // the 63rd runs from 992 over the end into 0..7
    EXPECT_EQ(c.writeIndex.load(), 8u);
    EXPECT_EQ(std::string(c.ring.begin() + 992, c.ring.end()), "READYTVA");
    EXPECT_EQ(std::string(c.ring.begin(), c.ring.begin() + 8), "BCDEFGH\n");
    // Unread, the ring fills to one place short of the reader; the rest is dropped, counted.
    clock.Sleep(20 * 62);  // 992 bytes more, room for 983
    EXPECT_EQ(c.writeIndex.load(), 991u);
    EXPECT_EQ(c.port->DroppedBytes(), 9u);
    EXPECT_EQ(std::string(c.ring.begin() + 8, c.ring.begin() + 24), "READYTVABCDEFGH\n");
}

TEST(BusRing, NothingIsStoredWithoutAReceiverOrWhileClosed) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg = Quiet("GM");
    cfg.firstGreetingMicros = 0;
    bus.Attach(6, cfg);
    auto port = bus.Factory()();
    ASSERT_TRUE(port->Open("COM6", 9600, "8N1", MODE_RECEIVER));
    clock.Sleep(100);  // first greeting lost: no receiver
    std::vector<uint8_t> ring(1000, 7);
    std::atomic<uint32_t> wi{0};
    std::atomic<uint32_t> ri{0};
    ASSERT_TRUE(port->StartReceiver(ring.data(), 1000, &wi, &ri));
    EXPECT_EQ(ring[0], 0);
    clock.Sleep(200);  // greeting at 250 ms
    EXPECT_EQ(wi.load(), 16u);
    port->Close();
    clock.Sleep(300);
    EXPECT_EQ(wi.load(), 16u);
}

// --- Disconnect ----------------------------------------------------------------------------

TEST(BusFaults, DisconnectedDeviceNeitherReceivesNorSends) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg = Quiet("GM");
    cfg.firstGreetingMicros = 0;
    FaultPlan f;
    f.disconnectAfterBytes = 3;
    DeviceModel& device = bus.Attach(1, cfg, f);
    Client c(bus, 1);
    clock.Sleep(20);
    EXPECT_EQ(c.Take().size(), 16u);
    c.Write(std::string("START"), true);
    clock.Sleep(10);  // START's five bytes on the line
    EXPECT_TRUE(bus.Disconnected(1));
    EXPECT_EQ(device.Report().received.size(), 3u);
    EXPECT_EQ(device.CurrentPhase(), Phase::Disconnected);
    clock.Sleep(2000);
    EXPECT_EQ(c.Take(), "");
}

// --- Whole runs through a port -------------------------------------------------------------

// Waits up to `ms` for a complete record, polling every millisecond.
std::string AwaitRecord(Client& c, VirtualClock& clock, std::string& pending, uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
        pending += c.Take();
        if (pending.size() >= 16) {
            std::string record = pending.substr(0, 16);
            pending.erase(0, 16);
            return record;
        }
        clock.Sleep(1);
    }
    return "";
}

TEST(BusRun, BlockCrcRunThroughThePort) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg;
    cfg.kind = "OS";
    cfg.serial = "0000042";
    DeviceModel& device = bus.Attach(3, cfg);
    Client c(bus, 3);
    std::string pending;
    EXPECT_EQ(AwaitRecord(c, clock, pending, 300), "READYOS* 000004\n");

    const auto lower = Pattern(0x400, 20);
    const auto upper = Pattern(0x200, 21);
    c.Write(std::string("START"), true);
    clock.Sleep(500);
    c.port->SetLineSpeed(115200);
    c.Drop();
    pending.clear();
    EXPECT_EQ(AwaitRecord(c, clock, pending, 1000), "ERASED         \n");
    std::vector<uint8_t> header;
    PutLe32(header, 0x200);
    PutLe32(header, 0x400);
    c.Write(std::vector<uint8_t>(header.begin(), header.begin() + 4), true);
    c.Write(std::vector<uint8_t>(header.begin() + 4, header.end()), true);
    EXPECT_TRUE(c.Write(lower, false));
    for (int k = 0; k < 4; ++k) {
        std::string expected = "CRC" + std::to_string(ReferenceCrc(lower, 256 * k, 256));
        expected.resize(15, ' ');
        EXPECT_EQ(AwaitRecord(c, clock, pending, 100), expected + "\n") << k;
    }
    EXPECT_FALSE(c.port->TransferInProgress());
    EXPECT_EQ(AwaitRecord(c, clock, pending, 1500), "ERASED         \n");
    EXPECT_TRUE(c.Write(upper, false));
    EXPECT_EQ(AwaitRecord(c, clock, pending, 100).substr(0, 3), "CRC");
    EXPECT_EQ(AwaitRecord(c, clock, pending, 100).substr(0, 3), "CRC");
    EXPECT_TRUE(c.Write(std::vector<uint8_t>(4, 0xFF), false));
    EXPECT_EQ(AwaitRecord(c, clock, pending, 500), "PROGRAMMED     \n");

    const DeviceReport& r = device.Report();
    EXPECT_EQ(device.CurrentPhase(), Phase::Programmed);
    EXPECT_EQ(r.BytesOf(Phase::Lower), lower);
    EXPECT_EQ(r.BytesOf(Phase::Upper), upper);
    EXPECT_EQ(r.Find(Phase::Header)->byteSpeeds, std::vector<uint32_t>{115200});
    EXPECT_FALSE(r.sent.back().garbled);
}

TEST(BusRun, ChecksumRunThroughThePortIsSilentUntilProgrammed) {
    VirtualClock clock;
    SimulatedBus bus(clock);
    DeviceConfig cfg;
    cfg.kind = "GM";
    cfg.serial = "G00000007";
    DeviceModel& device = bus.Attach(7, cfg);
    Client c(bus, 7);
    std::string pending;
    EXPECT_EQ(AwaitRecord(c, clock, pending, 300), "READYGMG0000000\n");
    c.Drop();
    pending.clear();
    const auto s = BuildChecksumStream(Pattern(0x300, 22), Pattern(0x100, 23));
    c.Write(std::string("START"), true);
    EXPECT_EQ(AwaitRecord(c, clock, pending, 1000), "ERASED         \n");
    c.Write(std::vector<uint8_t>(s.lengths.begin(), s.lengths.begin() + 2), true);
    c.Write(std::vector<uint8_t>(s.lengths.begin() + 2, s.lengths.end()), true);
    for (const auto* region : {&s.region0, &s.region1}) {
        for (size_t at = 0; at < region->size(); at += 258) {
            c.Write(std::vector<uint8_t>(region->begin() + at, region->begin() + at + 258), true);
            EXPECT_EQ(c.Take(), "");
        }
    }
    c.Write(std::vector<uint8_t>(s.totals.begin(), s.totals.begin() + 2), true);
    c.Write(std::vector<uint8_t>(s.totals.begin() + 2, s.totals.end()), true);
    EXPECT_EQ(AwaitRecord(c, clock, pending, 500), "PROGRAMMED     \n");
    EXPECT_EQ(device.CurrentPhase(), Phase::Programmed);
    EXPECT_EQ(device.Report().BytesOf(Phase::Region0), s.region0);
    EXPECT_EQ(device.Report().BytesOf(Phase::Region1), s.region1);
    // Each chunk with its sum reached the line before it fell idle: from the lengths to the
    // last sum the device took its bytes back to back, at 10 bits a byte.
    const auto* lengths = device.Report().Find(Phase::Lengths);
    const auto* region1 = device.Report().Find(Phase::Region1);
    EXPECT_EQ(region1->lastByteAtMicros - lengths->firstByteAtMicros,
              (4 + 4 * 258 - 1) * 10'000'000ull / 9600);
}

TEST(BusRun, OnlyTheDeviceLineAnswersAndTheBusOutlivesNothingItShouldNot) {
    VirtualClock clock;
    auto bus = std::make_unique<SimulatedBus>(clock);
    DeviceConfig cfg = Quiet("TV");
    cfg.firstGreetingMicros = 0;
    bus->Attach(3, cfg);
    bus->SetIdle(1);
    auto factory = bus->Factory();
    Client one(*bus, 1);
    Client three(*bus, 3);
    clock.Sleep(300);
    EXPECT_EQ(one.Take(), "");
    EXPECT_EQ(three.Take().size(), 32u);
    bus.reset();  // pending callbacks must not touch the gone devices
    clock.Sleep(1000);
    auto late = factory();
    EXPECT_FALSE(late->Open("COM3", 9600, "8N1", MODE_RECEIVER)) << "still open by `three`";
}

}  // namespace
}  // namespace norvane::sim
