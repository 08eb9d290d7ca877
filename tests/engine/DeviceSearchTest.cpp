// The device search in virtual time: one port per 100 ms tick, 300 ticks at most.
#include <gtest/gtest.h>

#include "tests/support/EngineFixture.h"

namespace norvane {
namespace {

using test::EngineFixture;

class DeviceSearchTest : public EngineFixture {
protected:
    void AllPresent() {
        for (int n = 1; n <= 8; ++n) {
            bus.Present(n);
        }
    }
    std::vector<int32_t> Positions() const { return events.Positions(); }
    FlashResult Search() { return programmer->SearchDevice(&abortFlag).result; }
};

TEST_F(DeviceSearchTest, NoPortAtAllRunsThreeHundredTicksThenPausesEightTimes) {
    const SearchOutcome outcome = programmer->SearchDevice(&abortFlag);
    EXPECT_EQ(outcome.result, MakeResult(RC_NO_DEVICE));
    EXPECT_EQ(outcome.detail,
              "None of the ports tried exists: COM1, COM2, COM3, COM4, COM5, COM6, COM7, COM8.");
    EXPECT_EQ(clock.NowMillis(), 300 * 100 + 8 * 100);

    const auto recorded = events.Events();
    ASSERT_EQ(recorded.size(), 1u + 300u);
    EXPECT_EQ(events.StatusTexts(), (std::vector<std::string>{"Searching device..."}));
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{300}));
    for (int k = 1; k <= 300; ++k) {
        EXPECT_EQ(std::get<JobEvent::Progress>(recorded[k].event.what).position, k);
        EXPECT_EQ(recorded[k].tick, uint32_t(100 * k));  // a fixed 100 ms grid
    }
}

TEST_F(DeviceSearchTest, TvDeviceOnCom3IsFoundInTheThirdTick) {
    AllPresent();
    bus.DeliverAt(3, 10, Greeting("TV", "A1234567"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_TV));
    EXPECT_EQ(clock.NowMillis(), 300u);  // returns at the end of the detection tick
    EXPECT_EQ(Positions(), (std::vector<int32_t>{1, 2, 3}));

    EXPECT_EQ(events.StatusTexts(),
              (std::vector<std::string>{"Searching device...", "Device detected on COM3"}));
    EXPECT_EQ(events.Ranges(), (std::vector<int32_t>{300, 0}));
    // The device after the status text that names its port, before the tick's progress.
    const auto recorded = events.Events();
    const auto& found = std::get<JobEvent::Found>(recorded[recorded.size() - 2].event.what);
    EXPECT_EQ(found.port, 3);
    EXPECT_EQ(found.kind, IMAGE_TV);
    EXPECT_EQ(found.kindCode, "TV");
    EXPECT_EQ(found.serial, "A1234567\n");
    EXPECT_EQ(found.displayName, "Tarvik");
    EXPECT_FALSE(found.starFlag);

    EXPECT_EQ(bus.OpenCount(), 1);
    ASSERT_NE(bus.Port(3), nullptr);
    EXPECT_EQ(programmer->Ports().ActiveSlot(), 3);
    EXPECT_EQ(programmer->Ports().ActivePort(), bus.Port(3));
    EXPECT_EQ(bus.Port(3)->openSpeed, 9600u);
    EXPECT_EQ(bus.Port(3)->frame, "8N1");
}

TEST_F(DeviceSearchTest, OsDeviceSetsTheStarFlagFromPositionSeven) {
    AllPresent();
    bus.DeliverAt(1, 0, Greeting("OS", "*xSN0042"));
    const SearchOutcome outcome = programmer->SearchDevice(&abortFlag);
    EXPECT_EQ(outcome.result, MakeResult(RC_FOUND_OS));
    ASSERT_TRUE(outcome.device);
    EXPECT_TRUE(outcome.device->starFlag);
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"SN0042\n"}));
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Osk3"}));
}

TEST_F(DeviceSearchTest, OsDeviceWithoutStarAndLowerCaseKindCode) {
    AllPresent();
    // A first search sets the flag; the greeting without the asterisk clears it again.
    bus.DeliverAt(1, 0, Greeting("OS", "*xSN0042"));
    SearchOutcome outcome = programmer->SearchDevice(&abortFlag);
    ASSERT_EQ(outcome.result, MakeResult(RC_FOUND_OS));
    ASSERT_TRUE(outcome.device && outcome.device->starFlag);
    programmer->Ports().CloseSlot(0);
    events.Clear();
    bus.DeliverAt(2, clock.NowMillis(), "readyos-xsn0042\n");
    outcome = programmer->SearchDevice(&abortFlag);
    EXPECT_EQ(outcome.result, MakeResult(RC_FOUND_OS));
    ASSERT_TRUE(outcome.device);
    EXPECT_FALSE(outcome.device->starFlag);
    EXPECT_EQ(outcome.device->kindCode, "OS");
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"SN0042\n"}));
}

TEST_F(DeviceSearchTest, GmDeviceShowsItsSerialFromPositionSeven) {
    AllPresent();
    bus.DeliverAt(4, 0, Greeting("GM", "987654321"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_GM));
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"98765432\n"}));
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Gremmet"}));
}

TEST_F(DeviceSearchTest, UnknownKindShowsUnknownDeviceAndKeepsItsSlot) {
    AllPresent();
    bus.DeliverAt(6, 0, Greeting("QQ", "123456789"));
    const SearchOutcome outcome = programmer->SearchDevice(&abortFlag);
    EXPECT_EQ(outcome.result, MakeResult(RC_DEVICE_UNKNOWN));
    EXPECT_EQ(outcome.detail,
              "The device on COM6 greeted as kind \"QQ\", which this program does not know.");
    EXPECT_TRUE(events.Serials().empty());
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Unknown device"}));
    EXPECT_EQ(bus.OpenCount(), 1);
    EXPECT_NE(bus.Port(6), nullptr);
}

TEST_F(DeviceSearchTest, OtherRecordEndsTheSearchWithItsKindAndAllSlotsOpen) {
    AllPresent();
    bus.DeliverAt(2, 0, Record("PROGRAMMED"));
    EXPECT_EQ(Search(), MakeResult(RC_INVALID_REPLY, 4));
    EXPECT_EQ(bus.OpenCount(), 8);
    EXPECT_EQ(programmer->Ports().ActiveSlot(), 0);
}

TEST_F(DeviceSearchTest, RecordWithoutKeywordIsIgnored) {
    AllPresent();
    bus.DeliverOnOpen(1, Record("HELLO") + Greeting("TV", "123456789"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_TV));
    EXPECT_EQ(clock.NowMillis(), 900u);  // COM1's second turn, tick 9
}

TEST_F(DeviceSearchTest, DetectionInTheLastTickIsOverruledAndEverythingCloses) {
    AllPresent();
    // Tick 300 looks at COM4 (37 whole rounds, then COM1 to COM4).
    bus.DeliverAt(4, 29150, Greeting("TV", "123456789"));
    EXPECT_EQ(Search(), MakeResult(RC_NO_DEVICE));
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Tarvik"}));
    EXPECT_EQ(bus.OpenCount(), 0);
    EXPECT_EQ(programmer->Ports().ActiveSlot(), 0);
    EXPECT_EQ(clock.NowMillis(), 30800u);
}

TEST_F(DeviceSearchTest, AbortInADetectionTickWins) {
    AllPresent();
    bus.DeliverAt(3, 0, Greeting("TV", "123456789"));
    clock.AtMicros(250'000, [this] { abortFlag = 1; });
    EXPECT_EQ(Search(), MakeResult(RC_INTERRUPTED));
    EXPECT_EQ(bus.OpenCount(), 0);
    EXPECT_EQ(programmer->Ports().ActiveSlot(), 0);
    EXPECT_EQ(clock.NowMillis(), 300u + 800u);
}

TEST_F(DeviceSearchTest, AbortBeforeTheSearchStillRunsTheFirstTick) {
    AllPresent();
    abortFlag = 1;
    bus.DeliverOnOpen(1, Greeting("TV", "123456789"));
    EXPECT_EQ(Search(), MakeResult(RC_INTERRUPTED));
    EXPECT_EQ(events.StatusTexts().back(), "Device detected on COM1");
    EXPECT_EQ(Positions(), (std::vector<int32_t>{1}));
    EXPECT_EQ(bus.OpenCount(), 0);
    // The detection closed the other ports; the device's own goes in the closing, which
    // pauses 100 ms before each of the eight slots.
    EXPECT_EQ(bus.log.back(), "close COM1");
    EXPECT_EQ(clock.NowMillis(), 900u);
}

TEST_F(DeviceSearchTest, FirstPortToCompleteAGreetingWinsOverALaterOne) {
    AllPresent();
    bus.DeliverAt(5, 0, Greeting("GM", "555555555"));
    bus.DeliverAt(2, 0, Greeting("TV", "222222222"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_TV));
    EXPECT_EQ(bus.Port(5), nullptr);
    EXPECT_NE(bus.Port(2), nullptr);
}

TEST_F(DeviceSearchTest, ClosedSlotsCostTheirTicks) {
    bus.Present(8);
    bus.DeliverAt(8, 0, Greeting("TV", "888888888"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_TV));
    EXPECT_EQ(clock.NowMillis(), 800u);
    EXPECT_EQ(events.StatusTexts().back(), "Device detected on COM8");
}

TEST_F(DeviceSearchTest, PartialRecordFromOnePortIsNeverCompletedByAnother) {
    AllPresent();
    bus.DeliverOnOpen(1, "READYTV1");
    bus.DeliverOnOpen(2, "2345678\n");
    bus.DeliverAt(3, 0, Greeting("TV", "333333333"));
    EXPECT_EQ(Search(), MakeResult(RC_FOUND_TV));
    EXPECT_EQ(events.StatusTexts().back(), "Device detected on COM3");
    EXPECT_EQ(events.Serials(), (std::vector<std::string>{"33333333\n"}));
}

TEST_F(DeviceSearchTest, ReleasingTheActiveSlotClosesItsPortOnly) {
    AllPresent();
    bus.DeliverAt(5, 0, Greeting("TV", "123456789"));
    ASSERT_EQ(Search(), MakeResult(RC_FOUND_TV));
    programmer->Ports().CloseSlot(0);
    EXPECT_EQ(programmer->Ports().ActiveSlot(), 0);
    EXPECT_EQ(programmer->Ports().ActivePort(), nullptr);
    EXPECT_EQ(bus.OpenCount(), 0);
    EXPECT_FALSE(programmer->Ports().IsOpen(5));
    const size_t logged = bus.log.size();
    programmer.reset();  // finds every slot closed
    EXPECT_EQ(bus.log.size(), logged);
}

class DeviceSearchAtWrapTest : public EngineFixture {
protected:
    DeviceSearchAtWrapTest() : EngineFixture(0xFFFFFFFFu - 15000) {}
};

TEST_F(DeviceSearchAtWrapTest, TickCountWrappingMidSearchKeepsTheGrid) {
    EXPECT_EQ(programmer->SearchDevice(&abortFlag).result, MakeResult(RC_NO_DEVICE));
    EXPECT_EQ(clock.NowMillis(), 30800u);
    EXPECT_EQ(events.Positions().size(), 300u);
}

}  // namespace
}  // namespace norvane
