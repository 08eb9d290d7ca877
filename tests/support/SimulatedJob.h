// Images for whole-job tests, and whole jobs against the device model on a simulated line in
// virtual time.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/DeviceProgrammer.h"
#include "engine/Image.h"
#include "engine/ProgrammerJob.h"
#include "platform/Resources.h"
#include "strings/MultiStrings.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ReferenceWire.h"
#include "tests/support/TestImages.h"
#include "tests/support/WholeJob.h"
#include "tools/simulator/SimulatedBus.h"
#include "tools/virtualtime/VirtualClock.h"

namespace norvane::test {

// The program's own embedded image (the demo TV image unless the build chose another).
inline Bytes DemoTestImage() {
    const ImageSpan demo = LoadImage();
    return Bytes(demo.begin(), demo.end());
}

// The demo image with three chunks in each region, the rest erased (0xFF): 1.6 s on the wire
// at 9600 baud instead of 54 s, for the real-time tests over unpaced terminals.
inline Bytes SmallTvTestImage() {
    Bytes image = DemoTestImage();
    for (int r = 0; r < 2; ++r) {
        const uint32_t end = kRegionStart[r] + kRegionLastExamined[r] + 1;
        std::fill(image.begin() + kRegionStart[r] + 0x300, image.begin() + end, 0xFF);
    }
    return image;
}

// A job against devices attached to `bus` (COM1..8 idle until a test attaches one).
class SimulatedJob {
protected:
    void PrepareJob() {
        ASSERT_TRUE(strings.Load(StringTableResource()));
        for (int n = 1; n <= 8; ++n) {
            bus.SetIdle(n);
        }
    }

    FlashResult RunJob(const Bytes& image) {
        return RunWholeJob(image, bus.Factory(), clock, strings, events, abortFlag);
    }

    VirtualClock clock;
    sim::SimulatedBus bus{clock};
    RecordingSink events{&clock};
    MultiStrings strings;
    std::atomic<int> abortFlag = 0;
};

}  // namespace norvane::test
