// Whole jobs in virtual time on images of the sizes the engine meets, against a device that
// always agrees: what the protocols take out of the image (the trimmed and rounded regions,
// the OS split at 1 MiB, the chunks and their sums) is compared with the image's plain
// reading, and every byte they read lies in an allocation of exactly the image's size.
// A GM/TV job runs to its end; an OS job stops with a device error once the lower region has
// been handed to the port (acknowledging a mebibyte block by block would be slow).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/DeviceProgrammer.h"
#include "engine/JobEvents.h"
#include "engine/ProgrammerJob.h"
#include "fuzz/FuzzImage.h"
#include "serial/InProcessPort.h"
#include "strings/MultiStrings.h"
#include "tests/support/ReferenceWire.h"
#include "tools/virtualtime/VirtualClock.h"

namespace {

using namespace norvane;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "image regions: %s\n", what);
        std::abort();
    }
}

constexpr uint16_t kStopCode = 0x5151;

struct Expectation {
    const uint8_t* image = nullptr;
    size_t size = 0;
    ImageKind kind = IMAGE_INVALID;
    // checksum protocol
    uint32_t length[2] = {0, 0};
    // block-CRC protocol
    bool osUsable = false;
    uint32_t lower = 0, upper = 0;
};

struct Observed {
    int twoByteWrites = 0;
    uint32_t length[2] = {0, 0};
    uint32_t chunks = 0;
    uint32_t chunkBytes[2] = {0, 0};
    uint32_t headerWords[2] = {0, 0};
    int headerCount = 0;
    bool lowerSent = false;
};

// A port bank where only COM1 answers: a greeting waits in its input, "START" is answered
// with "ERASED", the totals with "PROGRAMMED", the OS lower region with an "ERROR".
class AgreeingPort final : public InProcessPort {
public:
    AgreeingPort(const Expectation& e, Observed& o, VirtualClock& clock)
        : e_(e), o_(o), clock_(clock) {}
    bool Open(const char* portName, uint32_t, const char*, int) override {
        return std::strcmp(portName, "COM1") == 0;
    }
    bool Close() override { return StopReceiver(); }
    bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                       const std::atomic<uint32_t>* readIndex) override {
        if (!InProcessPort::StartReceiver(ring, ringSize, writeIndex, readIndex)) {
            return false;
        }
        Deliver(e_.kind == IMAGE_OS   ? "READYOS* 123456\n"
                : e_.kind == IMAGE_GM ? "READYGM12345678\n"
                                      : "READYTV12345678\n");
        return true;
    }
    bool SetLineSpeed(uint32_t) override { return true; }
    bool TransferInProgress() override { return false; }

    bool Write(const void* data, uint32_t length, bool) override {
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (length == 5 && std::memcmp(bytes, "START", 5) == 0) {
            // An OS device erases for longer than the host's pause before its rate change.
            clock_.AfterMillis(e_.kind == IMAGE_OS ? 600 : 0,
                               [this] { Deliver("ERASED         \n"); });
            return true;
        }
        if (e_.kind == IMAGE_OS) {
            OsWrite(bytes, length);
        } else {
            ChecksumWrite(bytes, length);
        }
        return true;
    }

private:
    void OsWrite(const uint8_t* bytes, uint32_t length) {
        if (length == 4 && o_.headerCount < 2) {
            o_.headerWords[o_.headerCount++] =
                bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
            return;
        }
        Check(!o_.lowerSent, "a write after the lower region before the device answered");
        Check(bytes == e_.image && length == e_.lower, "lower region");
        o_.lowerSent = true;
        const char error[] = {'E', 'R', 'R', 'O', 'R', 0x51, 0x51, ' ',
                              ' ', ' ', ' ', ' ', ' ', ' ',  ' ',  '\n'};
        Deliver(std::string(error, sizeof error));
    }

    // The lengths and the totals come as two-byte writes, each chunk with its sum in one.
    void ChecksumWrite(const uint8_t* bytes, uint32_t length) {
        const uint32_t starts[2] = {kRegionStart[0], kRegionStart[1]};
        if (length == 2) {
            const int n = o_.twoByteWrites++;
            if (n < 2) {
                o_.length[n] = bytes[0] | bytes[1] << 8;
            } else if (n == 3) {
                Deliver("PROGRAMMED     \n");
            }
            return;
        }
        Check(length == 258, "chunk length");
        const int region = o_.chunkBytes[0] < o_.length[0] ? 0 : 1;
        const uint32_t at = starts[region] + o_.chunkBytes[region];
        Check(at + 256 <= e_.size, "chunk beyond the image");
        Check(std::memcmp(bytes, e_.image + at, 256) == 0, "chunk bytes");
        uint32_t sum = 0;
        for (uint32_t i = 0; i < 256; ++i) {
            sum += bytes[i];
        }
        Check((bytes[256] | bytes[257] << 8) == (sum & 0xFFFF), "chunk sum");
        o_.chunkBytes[region] += 256;
        ++o_.chunks;
    }

    void Deliver(const std::string& bytes) { Arrive(bytes); }

    const Expectation& e_;
    Observed& o_;
    VirtualClock& clock_;
};

class NoWindow final : public JobEventSink {
public:
    void Post(JobEvent) override {}
};

const MultiStrings& Strings() {
    static MultiStrings strings;
    static const bool loaded = strings.Load(StringTableResource());
    Check(loaded, "the program's string table");
    return strings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    fuzz::ImageShape shape;
    const fuzz::FuzzImage image(in, &shape);
    if (shape == fuzz::ImageShape::Raw || shape == fuzz::ImageShape::Small) {
        return 0;  // too short for any protocol; the image checks cover them
    }
    const ImageSpan span(image.data(), image.size());

    Expectation e;
    e.image = image.data();
    e.size = image.size();
    e.kind = UsableImageKind(span);
    if (e.kind == IMAGE_GM || e.kind == IMAGE_TV) {
        const test::Bytes copy(image.data(), image.data() + image.size());
        e.length[0] = test::ChecksumRegionLength(copy, kRegionStart[0], kRegionLastExamined[0]);
        e.length[1] = test::ChecksumRegionLength(copy, kRegionStart[1], kRegionLastExamined[1]);
    } else if (e.kind == IMAGE_OS) {
        const uint32_t n = OsImageLength(span);
        if (n < 0x100000) {
            e.lower = n;
        } else {
            e.upper = n - 0x100000;
            uint32_t lower = 0x100000;
            while (lower > 0 && image[lower - 1] == 0xFF) {
                --lower;
            }
            e.lower = (lower + 255) / 256 * 256;
        }
        e.osUsable = n != 0 && e.upper % 256 == 0 && e.lower != 0;
    }

    Observed o;
    VirtualClock clock;
    NoWindow window;
    std::atomic<int> abortFlag = 0;
    JobEnvironment environment{[&] { return span; },
                               [&](const PortList& ports) -> std::unique_ptr<JobSteps> {
                                   return std::make_unique<DeviceProgrammer>(
                                       [&]() -> std::unique_ptr<SerialPort> {
                                           return std::make_unique<AgreeingPort>(e, o, clock);
                                       },
                                       ports, clock, Strings());
                               }};
    const FlashResult result =
        RunProgrammingJob({0, window, abortFlag, nullptr, NumberedComPorts(8)}, environment);

    if (e.kind == IMAGE_INVALID) {
        Check(result == MakeResult(RC_INVALID_IMAGE), "an unusable image was not refused");
    } else if (e.kind == IMAGE_OS) {
        if (!e.osUsable) {
            Check(result == MakeResult(RC_INVALID_IMAGE), "an unusable OS image was not refused");
            Check(o.headerCount == 0, "header sent for an unusable OS image");
        } else {
            Check(result == MakeResult(RC_DEVICE_ERROR, kStopCode), "OS run result");
            Check(o.headerCount == 2 && o.headerWords[0] == e.upper, "upper length");
            Check(o.headerWords[1] == e.lower, "lower length");
            Check(o.lowerSent, "lower region not sent");
        }
    } else {
        Check(result == MakeResult(RC_SUCCESS), "checksum run result");
        Check(o.length[0] == e.length[0] && o.length[1] == e.length[1], "region lengths");
        Check(o.chunkBytes[0] == e.length[0] && o.chunkBytes[1] == e.length[1],
              "bytes sent per region");
    }
    return 0;
}
