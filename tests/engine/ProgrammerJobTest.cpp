// The job's dispatch, with a programmer whose search and protocol results are scripted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/ProgrammerJob.h"
#include "tests/support/RecordingWindow.h"

namespace norvane {
namespace {

using test::RecordingWindow;

struct Script {
    FlashResult searchResult = MakeResult(RC_NO_DEVICE);
    FlashResult protocolResult = MakeResult(RC_SUCCESS);
    std::vector<std::string> calls;
    uint32_t blockCrcLength = 0;
};

class ScriptedProgrammer final : public JobSteps {
public:
    ScriptedProgrammer(Script& script, NotifyWindow& window) : script_(script), window_(window) {}
    ~ScriptedProgrammer() override {
        // The job must delete the programmer before it reports the result.
        script_.calls.push_back(
            "destroyed after " +
            std::to_string(static_cast<RecordingWindow&>(window_).Messages().size()) + " messages");
    }
    void SetNotifyWindow(NotifyWindow* window) override {
        script_.calls.push_back(window == &window_ ? "window" : "wrong window");
    }
    FlashResult SearchDevice(const std::atomic<int>*) override {
        script_.calls.push_back("search");
        return script_.searchResult;
    }
    FlashResult RunBlockCrcProtocol(ImageSpan image, const std::atomic<int>*) override {
        script_.calls.push_back("block-crc");
        script_.blockCrcLength = static_cast<uint32_t>(image.size());
        return script_.protocolResult;
    }
    FlashResult RunChecksumProtocol(ImageSpan, const std::atomic<int>*) override {
        script_.calls.push_back("checksum");
        return script_.protocolResult;
    }

private:
    Script& script_;
    NotifyWindow& window_;
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
    FlashResult Run(const std::vector<uint8_t>& image) {
        JobEnvironment environment{
            [&image] { return ImageSpan(image); },
            [this] { return std::make_unique<ScriptedProgrammer>(script, window); }};
        return RunProgrammingJob(new JobStart{&window, &abortFlag}, environment);
    }
    // The job's messages, with WM_PROG_DONE exactly once and last.
    void ExpectDoneLast(FlashResult result) {
        const auto messages = window.Messages();
        ASSERT_FALSE(messages.empty());
        int done = 0;
        for (const auto& m : messages) {
            done += m.message.message == WM_PROG_DONE;
        }
        EXPECT_EQ(done, 1);
        EXPECT_EQ(messages.back().message.message, WM_PROG_DONE);
        EXPECT_EQ(messages.back().message.wParam, result);
        EXPECT_EQ(messages.back().message.lParam, 0);
    }

    Script script;
    RecordingWindow window;
    std::atomic<int> abortFlag = 0;
};

TEST_F(ProgrammerJobTest, ImageOfNoKnownKindEndsAtOnceWithoutSearching) {
    auto image = ChecksumImage("tv");
    EXPECT_EQ(Run(image), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(window.Messages().size(), 1u);
    ExpectDoneLast(MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(script.calls, (std::vector<std::string>{"window", "destroyed after 0 messages"}));
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
    script.protocolResult = MakeResult(RC_DEVICE_ERROR, 0x1234);
    auto image = ChecksumImage("TV");
    EXPECT_EQ(Run(image), MakeResult(RC_DEVICE_ERROR, 0x1234));
    EXPECT_EQ(window.Texts(TextProgramVersion), (std::vector<std::string>{"TV  1.00"}));
    EXPECT_EQ(window.Messages().front().message.message, WM_PROG_TEXT);
    ExpectDoneLast(MakeResult(RC_DEVICE_ERROR, 0x1234));
    EXPECT_EQ(script.calls, (std::vector<std::string>{"window", "search", "checksum",
                                                      "destroyed after 1 messages"}));
}

TEST_F(ProgrammerJobTest, GmImageWithGmDeviceRunsTheChecksumProtocol) {
    script.searchResult = MakeResult(RC_FOUND_GM);
    EXPECT_EQ(Run(ChecksumImage("GM")), MakeResult(RC_SUCCESS));
    EXPECT_EQ(script.calls[2], "checksum");
}

TEST_F(ProgrammerJobTest, OsImageRunsBlockCrcWithTheLengthBehindTheLastFF) {
    script.searchResult = MakeResult(RC_FOUND_OS);
    EXPECT_EQ(Run(OsImage(true)), MakeResult(RC_SUCCESS));
    EXPECT_EQ(script.calls[2], "block-crc");
    EXPECT_EQ(script.blockCrcLength, 0x2800u);
}

TEST_F(ProgrammerJobTest, OsImageWithoutFFIsRefusedAfterTheDeviceIsFound) {
    script.searchResult = MakeResult(RC_FOUND_OS);
    EXPECT_EQ(Run(OsImage(false)), MakeResult(RC_INVALID_IMAGE));
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"window", "search", "destroyed after 1 messages"}));
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
        window.Clear();
        EXPECT_EQ(Run(ChecksumImage("TV")), searchResult);
        ExpectDoneLast(searchResult);
        EXPECT_EQ(script.calls.back(), "destroyed after 1 messages");
    }
}

}  // namespace
}  // namespace norvane
