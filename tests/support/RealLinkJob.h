// Jobs over the real serial code against norvane-devsim on pseudo-terminals, in real time.
#pragma once

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/CommPort.h"
#include "tests/support/DevsimProcess.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Footprint.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/WholeJob.h"

namespace norvane::test {

// No real serial port is ever looked at: every COM name is a terminal of the test or nothing.
class RealLinkJob {
protected:
    void PrepareRealLink() {
        ASSERT_TRUE(strings.Load(StringTableResource()));
        for (int n = 1; n <= 8; ++n) {
            setenv(("NORVANE_COM" + std::to_string(n)).c_str(), "", 1);
        }
        SettleSanitizerThreads();
    }

    // Starts the simulator with `options` and puts its terminal on COMn.
    std::unique_ptr<Devsim> StartDevsim(int n, std::vector<std::string> options,
                                        std::string* path = nullptr) {
        auto device = std::make_unique<Devsim>(std::move(options));
        const std::string terminal = device->ReadPath();
        EXPECT_FALSE(terminal.empty());
        setenv(("NORVANE_COM" + std::to_string(n)).c_str(), terminal.c_str(), 1);
        if (path) {
            *path = terminal;
        }
        return device;
    }

    FlashResult RunJob(const Bytes& image) {
        return RunWholeJob(image, CreateCommPort, SystemClock(), strings, events, abortFlag);
    }

    MultiStrings strings;
    RecordingSink events;
    std::atomic<int> abortFlag = 0;
};

}  // namespace norvane::test
