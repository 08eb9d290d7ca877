// A DeviceProgrammer on scripted ports in virtual time, with the program's own string table.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/DeviceProgrammer.h"
#include "engine/ReplyScanner.h"
#include "strings/MultiStrings.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ScriptedPorts.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::test {

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture(uint32_t startTick = 0) : clock(startTick), bus(clock), events(&clock) {}

    void SetUp() override {
        ASSERT_TRUE(strings.Load(StringTableResource()));
        Restart();
    }

    // A fresh programmer on a fresh bus, for a further run within one test.
    void Restart() {
        programmer.reset();
        clock.Clear();
        bus.Reset();
        events.Clear();
        abortFlag = 0;
        programmer =
            std::make_unique<DeviceProgrammer>(bus.Factory(), NumberedComPorts(8), clock, strings);
        programmer->SetEventSink(&events, 0);
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
    RecordingSink events;
    MultiStrings strings;
    std::atomic<int> abortFlag = 0;
    std::unique_ptr<DeviceProgrammer> programmer;
};

}  // namespace norvane::test
