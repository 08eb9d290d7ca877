// The job's dispatch, with a programmer whose search and protocol results are scripted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/ProgrammerJob.h"
#include "strings/MultiStrings.h"
#include "tests/support/RecordingSink.h"

namespace norvane {
namespace {

using test::RecordingSink;

struct Script {
    FlashResult searchResult = MakeResult(RC_NO_DEVICE);
    bool starFlag = false;
    StepOutcome protocol{MakeResult(RC_SUCCESS), {}};
    std::vector<std::string> calls;
    uint32_t blockCrcLength = 0;
    bool blockCrcStar = false;
    PortList ports;
};

// The device a search result names, as the real search would return it.
std::optional<JobEvent::Found> FoundBy(FlashResult result, bool starFlag) {
    JobEvent::Found found;
    found.port = 2;
    found.path = "/dev/ttyUSB0";
    found.starFlag = starFlag;
    switch (CodeOf(result)) {
        case RC_FOUND_OS:
            found.kind = IMAGE_OS;
            found.kindCode = "OS";
            found.displayName = "Osk3";
            return found;
        case RC_FOUND_GM:
            found.kind = IMAGE_GM;
            found.kindCode = "GM";
            found.displayName = "Gremmet";
            return found;
        case RC_FOUND_TV:
            found.kind = IMAGE_TV;
            found.kindCode = "TV";
            found.displayName = "Tarvik";
            return found;
        case RC_DEVICE_UNKNOWN:
            return found;
        default:
            return std::nullopt;
    }
}

class ScriptedProgrammer final : public JobSteps {
public:
    ScriptedProgrammer(Script& script, RecordingSink& events) : script_(script), events_(events) {}
    ~ScriptedProgrammer() override {
        // The job must delete the programmer before it reports the result.
        script_.calls.push_back("destroyed after " + std::to_string(events_.Events().size()) +
                                " events");
    }
    void SetEventSink(JobEventSink* sink, JobId job) override {
        script_.calls.push_back(sink == &events_ && job == 7 ? "sink" : "wrong sink");
    }
    SearchOutcome SearchDevice(const std::atomic<int>*, const std::atomic<int>*) override {
        script_.calls.push_back("search");
        return {script_.searchResult, "search detail",
                FoundBy(script_.searchResult, script_.starFlag)};
    }
    StepOutcome RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                    const std::atomic<int>*) override {
        script_.calls.push_back("block-crc");
        script_.blockCrcLength = static_cast<uint32_t>(image.size());
        script_.blockCrcStar = starFlag;
        return script_.protocol;
    }
    StepOutcome RunChecksumProtocol(ImageSpan, const std::atomic<int>*) override {
        script_.calls.push_back("checksum");
        return script_.protocol;
    }

private:
    Script& script_;
    RecordingSink& events_;
};

std::vector<uint8_t> ChecksumImage(const char* kind) {
    std::vector<uint8_t> image(kChecksumImageMinimum + 0x100, 0xFF);
    std::memcpy(image.data() + kKindCodeOffset, kind, 2);
    std::memcpy(image.data() + kChecksumVersionOffset, "TV  1.00", 9);
    return image;
}

std::vector<uint8_t> OsImage(bool withFF) {
    std::vector<uint8_t> image(0x3000, 0x11);
    std::memcpy(image.data() + kOsVersionOffset, "OS 5.1", 7);
    if (withFF) {
        image[0x27FF] = 0xFF;
    }
    return image;
}

class ProgrammerJobTest : public ::testing::Test {
protected:
    FlashResult Run(const std::vector<uint8_t>& image,
                    std::function<bool(const JobEvent::Found&)> acceptDevice = {}) {
        JobEnvironment environment{[&image] { return ImageSpan(image); },
                                   [this](const PortList& ports) {
                                       script.ports = ports;
                                       return std::make_unique<ScriptedProgrammer>(script, events);
                                   },
                                   strings};
        return RunProgrammingJob(
            {7, events, abortFlag, nullptr, NumberedComPorts(3), std::move(acceptDevice)},
            environment);
    }
    // The job's events, with Done exactly once and last, marked with the job.
    void ExpectDoneLast(FlashResult result) {
        const auto recorded = events.Events();
        ASSERT_FALSE(recorded.empty());
        EXPECT_EQ(events.All<JobEvent::Done>().size(), 1u);
        const auto* done = std::get_if<JobEvent::Done>(&recorded.back().event.what);
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(done->result, result);
        for (const auto& event : recorded) {
            EXPECT_EQ(event.event.job, 7);
        }
    }

    Script script;
    RecordingSink events;
    const MultiStrings* strings = nullptr;  // the job's own second texts, when set
    std::atomic<int> abortFlag = 0;
};

TEST_F(ProgrammerJobTest, ImageOfNoKnownKindEndsAtOnceWithoutSearching) {
    auto image = ChecksumImage("tv");
    EXPECT_EQ(Run(image), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(events.Events().size(), 1u);
    ExpectDoneLast(MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(script.calls, (std::vector<std::string>{"sink", "destroyed after 0 events"}));
}

TEST_F(ProgrammerJobTest, ShortImagesAreRefusedBeforeAnyPort) {
    auto tv = ChecksumImage("TV");
    tv.resize(kChecksumImageMinimum - 1);
    EXPECT_EQ(Run(tv), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(Run(std::vector<uint8_t>(0x101, 0)), MakeResult(RC_INVALID_IMAGE));
    for (const auto& call : script.calls) {
        EXPECT_NE(call, "search");
    }
}

TEST_F(ProgrammerJobTest, VersionTextFirstThenSearchThenChecksumRun) {
    script.searchResult = MakeResult(RC_FOUND_TV);
    script.protocol = {MakeResult(RC_DEVICE_ERROR, 0x1234), "protocol detail"};
    auto image = ChecksumImage("TV");
    EXPECT_EQ(Run(image), MakeResult(RC_DEVICE_ERROR, 0x1234));
    EXPECT_EQ(events.Versions(), (std::vector<std::string>{"TV  1.00"}));
    EXPECT_TRUE(std::holds_alternative<JobEvent::Version>(events.Events().front().event.what));
    ExpectDoneLast(MakeResult(RC_DEVICE_ERROR, 0x1234));
    EXPECT_EQ(events.Detail(), "protocol detail");
    EXPECT_EQ(script.ports.size(), 3u);  // the job's own ports
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"sink", "search", "checksum", "destroyed after 1 events"}));
}

TEST_F(ProgrammerJobTest, GmImageWithGmDeviceRunsTheChecksumProtocol) {
    script.searchResult = MakeResult(RC_FOUND_GM);
    EXPECT_EQ(Run(ChecksumImage("GM")), MakeResult(RC_SUCCESS));
    EXPECT_EQ(script.calls[2], "checksum");
}

TEST_F(ProgrammerJobTest, OsImageRunsBlockCrcWithTheLengthBehindTheLastFF) {
    script.searchResult = MakeResult(RC_FOUND_OS);
    script.starFlag = true;
    EXPECT_EQ(Run(OsImage(true)), MakeResult(RC_SUCCESS));
    EXPECT_EQ(script.calls[2], "block-crc");
    EXPECT_EQ(script.blockCrcLength, 0x2800u);
    EXPECT_TRUE(script.blockCrcStar);  // the greeting's flag reaches the protocol
}

TEST_F(ProgrammerJobTest, OsImageWithoutFFIsRefusedAfterTheDeviceIsFound) {
    script.searchResult = MakeResult(RC_FOUND_OS);
    EXPECT_EQ(Run(OsImage(false)), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"sink", "search", "destroyed after 1 events"}));
    ExpectDoneLast(MakeResult(RC_INVALID_IMAGE));
}

TEST_F(ProgrammerJobTest, DeviceOfAnotherKindIsTheWrongDevice) {
    script.searchResult = MakeResult(RC_FOUND_TV);
    EXPECT_EQ(Run(OsImage(true)), MakeResult(RC_WRONG_DEVICE));
    script.searchResult = MakeResult(RC_FOUND_OS);
    EXPECT_EQ(Run(ChecksumImage("GM")), MakeResult(RC_WRONG_DEVICE));
    script.searchResult = MakeResult(RC_FOUND_GM);
    EXPECT_EQ(Run(ChecksumImage("TV")), MakeResult(RC_WRONG_DEVICE));
    for (const auto& call : script.calls) {
        EXPECT_TRUE(call != "block-crc" && call != "checksum") << call;
    }
}

TEST_F(ProgrammerJobTest, OtherSearchResultsPassThroughUnchanged) {
    for (FlashResult searchResult : {MakeResult(RC_DEVICE_UNKNOWN), MakeResult(RC_NO_DEVICE),
                                     MakeResult(RC_INTERRUPTED), MakeResult(RC_INVALID_REPLY, 4)}) {
        script.searchResult = searchResult;
        events.Clear();
        EXPECT_EQ(Run(ChecksumImage("TV")), searchResult);
        ExpectDoneLast(searchResult);
        EXPECT_EQ(events.Detail(), "search detail");
        EXPECT_EQ(script.calls.back(), "destroyed after 1 events");
    }
}

TEST_F(ProgrammerJobTest, EveryFailureTheJobFindsItselfSaysWhy) {
    MultiStrings texts;
    ASSERT_TRUE(texts.Load(StringTableResource()));
    strings = &texts;
    script.searchResult = MakeResult(RC_FOUND_TV);
    EXPECT_EQ(Run(OsImage(true)), MakeResult(RC_WRONG_DEVICE));
    EXPECT_EQ(events.Detail(),
              "The device on COM2 (/dev/ttyUSB0) is Tarvik (TV); the program's image is for Osk3 "
              "(OS).");

    script.searchResult = MakeResult(RC_FOUND_OS);
    EXPECT_EQ(Run(OsImage(false)), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(events.Detail(),
              "The OS image built into the program holds no 0xFF byte to mark its end.");

    EXPECT_EQ(Run(ChecksumImage("tv")), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(events.Detail(),
              "The image built into the program has no kind code (OS, GM or TV) at offset 0x100.");
    auto shortImage = ChecksumImage("TV");
    shortImage.resize(kChecksumImageMinimum - 1);
    EXPECT_EQ(Run(shortImage), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(events.Detail(),
              "The GM or TV image built into the program is shorter than its two regions "
              "(0x1BF00 bytes).");
}

TEST_F(ProgrammerJobTest, ADeviceDeclinedByTheStationGetsNoProtocolStep) {
    script.searchResult = MakeResult(RC_FOUND_TV);
    std::vector<ImageKind> asked;
    const auto decline = [&asked](const JobEvent::Found& found) {
        asked.push_back(found.kind);
        return false;
    };
    EXPECT_EQ(Run(ChecksumImage("TV"), decline), MakeResult(RC_DECLINED));
    ExpectDoneLast(MakeResult(RC_DECLINED));
    EXPECT_EQ(events.Detail(), "");
    EXPECT_EQ(asked, std::vector<ImageKind>{IMAGE_TV});
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"sink", "search", "destroyed after 1 events"}));
    script.calls.clear();
    EXPECT_EQ(Run(ChecksumImage("TV"), [](const JobEvent::Found&) { return true; }),
              MakeResult(RC_SUCCESS));
    EXPECT_EQ(script.calls[2], "checksum");
}

}  // namespace
}  // namespace norvane
