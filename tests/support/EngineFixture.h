// A DeviceProgrammer on scripted ports in virtual time, with the program's own string table.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/DeviceProgrammer.h"
#include "engine/ReplyScanner.h"
#include "strings/MultiStrings.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/ScriptedPorts.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::test {

// The reply scanner keeps one partial record for the process; each test starts it empty.
inline void EmptyProcessScanner() {
    uint8_t ring[kRingSize] = {};
    uint32_t readIndex = 0;
    std::atomic<uint32_t> writeIndex = 0;
    const uint32_t held = ProcessReplyScanner().HeldCount();
    if (held == 0) {
        return;
    }
    for (uint32_t i = 0; i < kRecordLength - held; ++i) {
        ring[i] = '#';
    }
    writeIndex = kRecordLength - held;
    const char* record = nullptr;
    ScanReply(&readIndex, &writeIndex, ring, kRingSize, &record);
}

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture(uint32_t startTick = 0) : clock(startTick), bus(clock), window(&clock) {}

    void SetUp() override {
        ASSERT_TRUE(strings.Load(StringTableResource()));
        Restart();
    }

    // A fresh programmer on a fresh bus, for a further run within one test.
    void Restart() {
        programmer.reset();
        clock.Clear();
        bus.Reset();
        window.Clear();
        abortFlag = 0;
        EmptyProcessScanner();
        programmer = std::make_unique<DeviceProgrammer>(bus.Factory(), clock, strings);
        programmer->SetNotifyWindow(&window);
    }

    // A greeting of 15 characters and a line feed.
    static std::string Greeting(const std::string& kind, const std::string& rest) {
        std::string record = "READY" + kind + rest;
        record.resize(15, ' ');
        return record + "\n";
    }
    static std::string Record(const std::string& text) {
        std::string record = text;
        record.resize(15, ' ');
        return record + "\n";
    }

    VirtualClock clock;
    ScriptedBus bus;
    RecordingWindow window;
    CMultiStrings strings;
    std::atomic<int> abortFlag = 0;
    std::unique_ptr<DeviceProgrammer> programmer;
};

}  // namespace norvane::test
