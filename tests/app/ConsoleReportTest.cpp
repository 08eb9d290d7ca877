// What norvane-console prints for events the job may post that a run against the simulator
// does not bring: the result's second text, and device bytes that are not text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/console/ConsoleReport.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

class ConsoleReportTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TheStrings().Load(StringTableResource())); }
    void TearDown() override {
        std::fclose(out_);
        std::fclose(err_);
    }
    static std::string Contents(std::FILE* file) {
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void Apply(decltype(JobEvent::what) what) { report_->Apply({0, std::move(what)}); }
    void Start(ReportStyle style) {
        report_ = std::make_unique<ConsoleReport>(style, TheStrings(), out_stream_, err_stream_);
    }

    std::FILE* out_ = std::tmpfile();
    std::FILE* err_ = std::tmpfile();
    ReportStream out_stream_{out_};
    ReportStream err_stream_{err_};
    std::unique_ptr<ConsoleReport> report_;
};

TEST_F(ConsoleReportTest, AFailureGoesToTheErrorStreamWithItsSecondText) {
    Start(ReportStyle::Lines);
    Apply(JobEvent::Phase{"Searching device...", 300, 0});
    report_->Finish({MakeResult(RC_NO_DEVICE), "COM1 (/dev/ttyUSB0): permission denied.\n"});
    EXPECT_EQ(Contents(out_), "Searching device...\n");
    EXPECT_EQ(Contents(err_),
              "No device detected on any serial port\nCOM1 (/dev/ttyUSB0): permission denied.\n");
}

TEST_F(ConsoleReportTest, JsonLinesStayValidWhateverTheDeviceSent) {
    Start(ReportStyle::Json);
    Apply(JobEvent::Phase{"Device detected on COM3", 0, 0});
    JobEvent::Found found;
    found.port = 3;
    found.path = "/dev/ttyUSB0";
    found.kind = IMAGE_TV;
    found.displayName = "Tarvik";
    found.serial =
        "\xff\xfe"
        "12\"3\\\n";
    Apply(found);
    report_->Finish({MakeResult(RC_DEVICE_ERROR, 0xFFFF), "The device stopped answering."});
    EXPECT_EQ(Contents(out_),
              "{\"event\":\"phase\",\"text\":\"Device detected on COM3\"}\n"
              "{\"event\":\"progress\",\"position\":0,\"range\":0}\n"
              "{\"event\":\"found\",\"port\":\"COM3\",\"path\":\"/dev/ttyUSB0\","
              "\"device\":\"Tarvik\",\"serial\":\"\\u00ff\\u00fe12\\\"3\\\\\"}\n"
              "{\"event\":\"result\",\"status\":15,\"message\":\"Device error - code ffff "
              "returned\",\"detail\":\"The device stopped answering.\"}\n");
}

}  // namespace
}  // namespace norvane
