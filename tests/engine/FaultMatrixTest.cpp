// The fault matrix: every phase of the device search and of both programming protocols, each
// with every fault a device or a user can cause (silence, an "ERROR" record, a record of an
// unexpected kind, a CRC mismatch, noise with stray line feeds, an unplugged device, the user's
// abort), ends the whole job with its one defined result and leaves no port, descriptor or
// thread behind. All cells run in virtual time against the device model; one row per fault
// runs again in real time over pseudo-terminals against norvane-devsim.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

#include "engine/DeviceProgrammer.h"
#include "engine/ProgrammerJob.h"
#include "serial/CommPort.h"
#include "tests/support/DevsimProcess.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Footprint.h"
#include "tests/support/RealLinkJob.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ReferenceWire.h"
#include "tests/support/SimulatedJob.h"
#include "tools/simulator/SimulatedBus.h"

namespace norvane {
namespace {

using sim::Phase;
using test::Bytes;
using test::Footprint;

constexpr uint32_t kLowerBlocks = 19;
constexpr uint32_t kUpperBytes = 0x300;
constexpr uint32_t kOsBlocks = kLowerBlocks + kUpperBytes / 256;

// Bytes of the checksum protocol up to the start of region `r` (0, 1) or of the totals (2).
uint64_t ChecksumBytesBefore(const Bytes& image, int r) {
    const uint32_t l0 = test::ChecksumRegionLength(image, 0x2000, 0x9EFD);
    const uint32_t l1 = test::ChecksumRegionLength(image, 0x10000, 0xBEFD);
    const uint32_t chunks = r == 0 ? 0 : r == 1 ? l0 / 256 : (l0 + l1) / 256;
    return 5 + 4 + uint64_t{chunks} * 258;
}

enum Fault { Silence, DeviceError, Unexpected, CrcMismatch, Noise, Unplugged, UserAbort, kFaults };
const char* const kFaultNames[kFaults] = {"Silence", "Error",     "UnexpectedKind", "CrcMismatch",
                                          "Noise",   "Unplugged", "Abort"};

constexpr uint16_t kCode = 0x5A21;  // no line feed, no lower-case letter: reaches the host as is
constexpr FlashResult kNoDevice = MakeResult(RC_NO_DEVICE);
constexpr FlashResult kEraseFailed = MakeResult(RC_ERASE_FAILED);
constexpr FlashResult kTimeout = MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT);
constexpr FlashResult kMismatch = MakeResult(RC_DEVICE_ERROR, DETAIL_CRC_MISMATCH);
constexpr FlashResult kError = MakeResult(RC_DEVICE_ERROR, kCode);
constexpr FlashResult kInterrupted = MakeResult(RC_INTERRUPTED);
constexpr FlashResult kSuccess = MakeResult(RC_SUCCESS);
constexpr FlashResult Invalid(ReplyKind kind) {
    return MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
}

// One phase of a run: where its faults go in, and the result of each fault.
struct Row {
    const char* name;
    const char* kind;  // of the device and the image
    Phase phase;
    // Unplug, abort and noise burst come this long after the device entered the phase (an
    // erase wait is well under way by then).
    uint64_t delayMicros;
    // Where the injected "ERROR" and unexpected record go (see sim::FaultPoint).
    uint32_t index;
    const char* unexpectedText;
    // The block whose CRC comes off by one; -1 where no "CRC" record is awaited: a "CRC"
    // record then arrives instead of the phase's reply.
    int crcBlock;
    // Where the line drops: after this many bytes from the host; nullptr: the device is
    // unplugged at the phase (a phase in which the host sends nothing).
    uint64_t (*dropAfter)(const Bytes& image);
    FlashResult expected[kFaults];
};

// clang-format off
const Row kRows[] = {
    // name            kind  phase             delay    index unexpected    crc  drop after
    //                 Silence       Error   UnexpectedKind CrcMismatch Noise     Unplugged     Abort
    {"Search",         "OS", Phase::Greeting,       0,     0, "PROGRAMMED", -1,  nullptr,
                      {kNoDevice,    Invalid(REPLY_ERROR), Invalid(REPLY_PROGRAMMED), Invalid(REPLY_CRC),
                                                                         kSuccess, kNoDevice,    kInterrupted}},
    {"OsErase",        "OS", Phase::Erasing,  100'000,     0, "PROGRAMMED", -1,  nullptr,
                      {kEraseFailed, kError, Invalid(REPLY_PROGRAMMED), Invalid(REPLY_CRC),
                                                                         kSuccess, kEraseFailed, kInterrupted}},
    {"OsHeader",       "OS", Phase::Header,         0,     2, "READY",       0,
                       [](const Bytes&) -> uint64_t { return 5 + 3; },
                      {kTimeout,     kError, Invalid(REPLY_READY),      kMismatch,
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"OsLower",        "OS", Phase::Lower,          0,     3, "ERASED",      5,
                       [](const Bytes&) -> uint64_t { return 2000; },
                      {kTimeout,     kError, Invalid(REPLY_ERASED),     kMismatch,
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"OsUpperErase",   "OS", Phase::UpperErasing, 100'000, 0, "PROGRAMMED", -1,  nullptr,
                      {kEraseFailed, kError, Invalid(REPLY_PROGRAMMED), Invalid(REPLY_CRC),
                                                                         kSuccess, kEraseFailed, kInterrupted}},
    {"OsUpper",        "OS", Phase::Upper,          0,     1, "READY",       kLowerBlocks + 1,
                       [](const Bytes&) -> uint64_t { return 5 + 8 + kLowerBlocks * 256 + 0x100; },
                      {kTimeout,     kError, Invalid(REPLY_READY),      kMismatch,
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"OsEndMarker",    "OS", Phase::EndMarker,      0,     0, "ERASED",      kOsBlocks - 1,
                       [](const Bytes&) -> uint64_t { return 5 + 8 + kLowerBlocks * 256 + kUpperBytes + 2; },
                      {kTimeout,     kError, Invalid(REPLY_ERASED),     kMismatch,
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"OsVerify",       "OS", Phase::Verifying,      0,     0, "ERASED",     -1,  nullptr,
                      {kTimeout,     kError, Invalid(REPLY_ERASED),     Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"TvErase",        "TV", Phase::Erasing,  100'000,     0, "PROGRAMMED", -1,  nullptr,
                      {kEraseFailed, kError, Invalid(REPLY_PROGRAMMED), Invalid(REPLY_CRC),
                                                                         kSuccess, kEraseFailed, kInterrupted}},
    {"TvLengths",      "TV", Phase::Lengths,        0,     2, "ERASED",     -1,
                       [](const Bytes&) -> uint64_t { return 5 + 2; },
                      {kTimeout,     kError, Invalid(REPLY_ERASED),     Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"TvRegion0",      "TV", Phase::Region0,        0,  1024, "READY",      -1,
                       [](const Bytes&) -> uint64_t { return 5000; },
                      {kTimeout,     kError, Invalid(REPLY_READY),      Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"TvRegion1",      "TV", Phase::Region1,        0,   300, "PROGRAMMED", -1,
                       [](const Bytes& image) { return ChecksumBytesBefore(image, 1) + 300; },
                      {kTimeout,     kError, Invalid(REPLY_PROGRAMMED), Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"TvTotals",       "TV", Phase::Totals,         0,     2, "ERASED",     -1,
                       [](const Bytes& image) { return ChecksumBytesBefore(image, 2) + 2; },
                      {kTimeout,     kError, Invalid(REPLY_ERASED),     Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
    {"TvVerify",       "TV", Phase::Verifying,      0,     0, "READY",      -1,  nullptr,
                      {kTimeout,     kError, Invalid(REPLY_READY),      Invalid(REPLY_CRC),
                                                                         kSuccess, kTimeout,     kInterrupted}},
};
// clang-format on

struct Cell {
    const Row* row;
    Fault fault;
};

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (const Row& row : kRows) {
        for (int f = 0; f < kFaults; ++f) {
            cells.push_back({&row, static_cast<Fault>(f)});
        }
    }
    return cells;
}

// Noise as a line may carry it between two records: junk, a keyword cut short, line feeds.
const std::string kNoiseBurst = std::string("\x01~#@\n\nREAD\n", 11) + "\xFF\x80 \n";

// The result box's second text for a cell, as far as it is fixed: its start (and, for a reply,
// its end). The device is on COM5; the simulated bus gives its ports no path.
std::pair<std::string, std::string> ExpectedDetail(const Row& row, Fault fault) {
    const FlashResult result = row.expected[fault];
    if (fault == Unplugged && row.dropAfter != nullptr) {
        return {"The serial port COM5 was disconnected.", ""};
    }
    switch (CodeOf(result)) {
        case RC_NO_DEVICE:  // every port is there, and silent
            return {"COM1: opened, but no device answered.\n",
                    "\nCOM8: opened, but no device answered."};
        case RC_INVALID_REPLY:
            return {"Reply \"", "\" came from COM5."};
        case RC_INTERRUPTED:
            return {"Stopped during ", "."};
        case RC_ERASE_FAILED:
            return {"The device on COM5 did not report its flash erased within the time limit.",
                    ""};
        case RC_DEVICE_ERROR:
            if (result == kTimeout) {
                return {"The device stopped answering within the time limit, during ", "."};
            }
            if (result == kMismatch) {
                return {"The device's check of block " + std::to_string(row.crcBlock) +
                            " did not match the block sent.",
                        ""};
            }
            return {"The device returned this code during ", "."};
        default:
            return {"", ""};  // the message says it all
    }
}

// The last second text posted starts with `start` and ends with `end`; none when both are empty.
void ExpectDetail(const test::RecordingSink& events, const std::string& start,
                  const std::string& end) {
    const std::string detail = events.Detail();
    EXPECT_EQ(detail.substr(0, start.size()), start);
    EXPECT_TRUE(detail.size() >= end.size() && detail.substr(detail.size() - end.size()) == end)
        << detail;
    if (start.empty() && end.empty()) {
        EXPECT_EQ(detail, "");
    }
}

class FaultMatrix : public ::testing::TestWithParam<Cell>, protected test::SimulatedJob {
protected:
    void SetUp() override { PrepareJob(); }

    // Runs `action` once, `delayMicros` after the device on COMn has entered `phase`.
    void AtPhase(int n, Phase phase, uint64_t delayMicros, std::function<void()> action) {
        clock.AfterMicros(500, [this, n, phase, delayMicros, action] {
            sim::DeviceModel* device = bus.Device(n);
            if (device == nullptr) {
                return;
            }
            for (const sim::PhaseLog& log : device->Report().phases) {
                if (log.phase == phase) {
                    clock.AtMicros(log.enteredAtMicros + delayMicros, action);
                    return;
                }
            }
            AtPhase(n, phase, delayMicros, action);
        });
    }
};

TEST_P(FaultMatrix, EndsWithTheDefinedResultAndLeavesNothingBehind) {
    const Row& row = *GetParam().row;
    const Fault fault = GetParam().fault;
    constexpr int kPort = 5;
    const Bytes image =
        std::string(row.kind) == "OS" ? test::OsTestImage(kUpperBytes) : test::DemoTestImage();

    sim::DeviceConfig config;
    config.kind = row.kind;
    // A greeting that starts between the host's discard and its "START" would reach the erase
    // wait as an unexpected record; a period of 330 ms keeps the greetings clear of it.
    config.greetingPeriodMicros = 330'000;
    // The search row's faults come before the first greeting.
    config.firstGreetingMicros = row.phase == Phase::Greeting ? 150'000 : 0;

    sim::FaultPlan plan;
    switch (fault) {
        case Silence:
            plan.silentFrom = row.phase;
            break;
        case DeviceError:
            plan.errorAt = sim::FaultPoint{row.phase, row.index};
            plan.errorCode = kCode;
            break;
        case Unexpected:
            plan.unexpectedAt = sim::FaultPoint{row.phase, row.index};
            plan.unexpectedText = row.unexpectedText;
            break;
        case CrcMismatch:
            if (row.crcBlock >= 0) {
                plan.wrongCrcBlock = static_cast<uint32_t>(row.crcBlock);
            } else {
                plan.unexpectedAt = sim::FaultPoint{row.phase, row.index};
                plan.unexpectedText = "CRC 4711";
            }
            break;
        case Noise:
            // Before every record, and a burst of its own in this phase.
            plan.noise = "~#\n@";
            plan.strayLineFeeds = 2;
            AtPhase(kPort, row.phase, row.delayMicros, [this] { bus.SendRaw(kPort, kNoiseBurst); });
            break;
        case Unplugged:
            if (row.dropAfter != nullptr) {
                plan.disconnectAfterBytes = row.dropAfter(image);
            } else {
                AtPhase(kPort, row.phase, row.delayMicros, [this] { bus.SetIdle(kPort); });
            }
            break;
        case UserAbort:
            AtPhase(kPort, row.phase, row.delayMicros, [this] { abortFlag = 1; });
            break;
        case kFaults:
            break;
    }
    bus.Attach(kPort, config, plan);

    const Footprint before;
    EXPECT_EQ(RunJob(image), row.expected[fault]);
    const Footprint after;
    const auto [start, end] = ExpectedDetail(row, fault);
    ExpectDetail(events, start, end);

    // The fault really struck in its phase: the device got that far.
    if (const sim::DeviceModel* device = bus.Device(kPort)) {
        const auto& phases = device->Report().phases;
        EXPECT_TRUE(std::any_of(phases.begin(), phases.end(),
                                [&](const sim::PhaseLog& log) { return log.phase == row.phase; }))
            << "the device never reached " << sim::PhaseName(row.phase);
    }
    EXPECT_EQ(bus.OpenCount(), 0) << "a port left open";
    int opened = 0, closed = 0;
    for (const sim::PortEvent& event : bus.Events()) {
        opened += event.kind == sim::PortEvent::Opened;
        closed += event.kind == sim::PortEvent::Closed;
    }
    EXPECT_EQ(opened, closed);
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads);
}

INSTANTIATE_TEST_SUITE_P(VirtualTime, FaultMatrix, ::testing::ValuesIn(AllCells()),
                         [](const auto& info) {
                             return std::string(info.param.row->name) + "_" +
                                    kFaultNames[info.param.fault];
                         });

// A slow device that stays within the host's limits is no fault at all.
TEST_F(FaultMatrix, SlowEraseWithinItsLimitStillSucceeds) {
    sim::DeviceConfig config;
    config.kind = "OS";
    config.greetingPeriodMicros = 330'000;
    sim::FaultPlan plan;
    plan.slowEraseExtraMicros = 15'000'000;
    bus.Attach(5, config, plan);
    EXPECT_EQ(RunJob(test::OsTestImage(kUpperBytes)), kSuccess);
    EXPECT_EQ(bus.OpenCount(), 0);
}

// ---- The same faults in real time: the serial code over pseudo-terminals, norvane-devsim as
// the device, the system clock. One row per fault, each a few seconds.

struct RealRow {
    const char* name;
    Fault fault;
    const char* kind;  // of the device and the image
    std::vector<std::string> options;
    int abortAfterMs;  // -1: no abort
    FlashResult expected;
    int killAfterMs = -1;  // the device dies this long into the job (its terminal hangs up)
    double maxSeconds = 6;
    // The result box's second text starts and ends so; "@" stands for the device's port,
    // "COM2 (<its terminal>)".
    std::string detailStart = "";
    std::string detailEnd = "";
};

const std::vector<RealRow>& RealRows() {
    // clang-format off
    static const std::vector<RealRow> rows = {
        {"SilentFromTheLowerRegion", Silence, "OS", {"--silent-from", "lower"}, -1, kTimeout, -1, 6,
         "The device stopped answering within the time limit, during block 0 of region 0."},
        // The search ends at once and leaves its ports to the job, which closes them all.
        {"ErrorInsteadOfTheGreeting", DeviceError, "OS", {"--error-at", "greeting"}, -1,
         Invalid(REPLY_ERROR), -1, 6, "Reply \"ERROR", "\" came from @."},
        {"ErrorInRegion0", DeviceError, "TV",
         {"--error-at", "region0:512", "--error-code", "0x5A21"}, -1, kError, -1, 6,
         // A pseudo-terminal takes the chunks at once, so the host may be well past the
         // chunk the device refused by the time it reads the record.
         "The device returned this code during block ", "."},
        {"ErasedWhileProgrammingLower", Unexpected, "OS",
         {"--unexpected-at", "lower:2", "--unexpected-text", "ERASED"}, -1, Invalid(REPLY_ERASED),
         -1, 6, "Reply \"ERASED", "\" came from @."},
        {"WrongCrcOfBlock3", CrcMismatch, "OS", {"--wrong-crc-block", "3"}, -1, kMismatch, -1, 6,
         "The device's check of block 3 did not match the block sent."},
        {"NoiseBeforeEveryRecord", Noise, "OS",
         {"--noise", "~#\\n@\\x01", "--stray-line-feeds", "2"}, -1, kSuccess},
        // The wait in progress ends the moment the terminal hangs up.
        {"UnpluggedMidStream", Unplugged, "OS", {"--disconnect-after", "2000"}, -1, kTimeout, -1, 6,
         "The serial port @ was disconnected."},
        // The host stops writing once the terminal has hung up, with the verification's result.
        {"TvUnpluggedMidRegion0", Unplugged, "TV", {"--disconnect-after", "1000"}, -1, kTimeout,
         -1, 3, "The serial port @ was disconnected."},
        {"AbortWhileErasing", UserAbort, "OS", {}, 1500, kInterrupted, -1, 6,
         "Stopped during the erase."},
        // Hung up under the open port during the search; only the abort ends the search early.
        {"DeviceDiesWhileSearching", Unplugged, "OS", {"--first-greeting-ms", "60000"}, 1500,
         kInterrupted, 300, 6, "Stopped during the search."},
    };
    // clang-format on
    return rows;
}

// Whether another program holds the terminal at `path`: it cannot be opened, or not locked.
bool Held(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;  // gone (the device hung up) is not held
    }
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return locked;
}

class FaultMatrixOverPtys : public ::testing::TestWithParam<RealRow>, protected test::RealLinkJob {
protected:
    void SetUp() override { PrepareRealLink(); }

    // Starts norvane-devsim and puts its terminal on COMn; its path in `path`.
    std::unique_ptr<test::Devsim> StartDevice(int n, const char* kind,
                                              std::vector<std::string> options, std::string* path) {
        // The first greeting comes once the search has the port open, the next one long after
        // "START", so that none can start between the host's discard and its "START" (it
        // would reach the erase wait as an unexpected record).
        std::vector<std::string> args = {"--kind",        kind,  "--erase-ms",          "600",
                                         "--block-ms",    "15",  "--first-greeting-ms", "50",
                                         "--greeting-ms", "3000"};
        args.insert(args.end(), options.begin(), options.end());
        return StartDevsim(n, std::move(args), path);
    }
};

TEST_P(FaultMatrixOverPtys, EndsWithTheDefinedResultAndLeavesNothingBehind) {
    const RealRow& row = GetParam();
    std::string path;
    auto device = StartDevice(2, row.kind, row.options, &path);
    // Keeps the terminal's number ours to the end: once a killed or hung-up device's end is
    // gone, another program's new pseudo-terminal could get the same path, and its holder
    // would pass for ours below.
    const int pin = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pin, 0);
    const Bytes image =
        std::string(row.kind) == "OS" ? test::OsTestImage(kUpperBytes) : test::DemoTestImage();

    const Footprint before;
    const std::clock_t cpuBefore = std::clock();
    const auto start = std::chrono::steady_clock::now();
    std::thread user;
    if (row.abortAfterMs >= 0 || row.killAfterMs >= 0) {
        user = std::thread([this, &row, &device] {
            const auto begin = std::chrono::steady_clock::now();
            if (row.killAfterMs >= 0) {
                std::this_thread::sleep_until(begin + std::chrono::milliseconds(row.killAfterMs));
                device->Signal(SIGKILL);
            }
            if (row.abortAfterMs >= 0) {
                std::this_thread::sleep_until(begin + std::chrono::milliseconds(row.abortAfterMs));
                abortFlag = 1;
            }
        });
    }
    EXPECT_EQ(RunJob(image), row.expected);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    if (user.joinable()) {
        user.join();
    }
    const Footprint after;

    EXPECT_LT(seconds, row.maxSeconds);
    auto withPort = [&path](std::string text) {
        if (const size_t at = text.find('@'); at != std::string::npos) {
            text.replace(at, 1, "COM2 (" + path + ")");
        }
        return text;
    };
    ExpectDetail(events, withPort(row.detailStart), withPort(row.detailEnd));
    // The waits sleep and the receivers block: the CPU stays idle, also once the line is dead.
    EXPECT_LT(cpuSeconds, seconds * 0.5) << "busy for " << cpuSeconds << " s of " << seconds;
    EXPECT_EQ(after.descriptors, before.descriptors) << "a descriptor left open";
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads) << "a thread left running";
    EXPECT_FALSE(Held(path)) << "the device's port is still held";
    close(pin);
}

INSTANTIATE_TEST_SUITE_P(RealTime, FaultMatrixOverPtys, ::testing::ValuesIn(RealRows()),
                         [](const auto& info) {
                             return std::string(kFaultNames[info.param.fault]) + "_" +
                                    info.param.name;
                         });

// A port that another program holds is never opened: the GM device behind the held COM2 would
// be found first (tick 2) if it were, and the GM image would then be programmed. The search
// goes past it to the OS device on COM3 and the job ends with a wrong device; the held port
// stays with its holder, COM3 is released.
TEST_F(FaultMatrixOverPtys, APortHeldByAnotherProgramIsNeverOpened) {
    std::string heldPath, freePath;
    auto gm = StartDevice(2, "GM", {"--greeting-ms", "40"}, &heldPath);
    auto os = StartDevice(3, "OS", {"--greeting-ms", "40"}, &freePath);
    const int holder = open(heldPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);

    Bytes image = test::DemoTestImage();
    image[0x100] = 'G';
    image[0x101] = 'M';
    const Footprint before;
    EXPECT_EQ(RunJob(image), MakeResult(RC_WRONG_DEVICE));
    EXPECT_EQ(events.DeviceNames(), (std::vector<std::string>{"Osk3"}));
    EXPECT_EQ(Footprint().descriptors, before.descriptors);
    EXPECT_EQ(test::SettledThreadCount(before.threads), before.threads);
    EXPECT_FALSE(Held(freePath));
    // A pseudo-terminal keeps its exclusive mode past the holder's close (a real port's ends
    // with its last close), and only root may open it then: cleared, as a real port's would be.
    EXPECT_EQ(ioctl(holder, TIOCNXCL), 0);
    close(holder);
    EXPECT_FALSE(Held(heldPath));
}

}  // namespace
}  // namespace norvane
