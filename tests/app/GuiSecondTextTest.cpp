// The result box's second text in the window, for a device unplugged mid-run and for an
// unexpected record on a port during the search; screenshots kept as artefacts.
#include <gtest/gtest.h>

#include "tests/app/GuiSession.h"

namespace norvane::test {
namespace {

// Runs the program against a simulated device with `options` on COM1 until its result box;
// checks the box's message and second text ("@" standing for "COM1 (<terminal>)") and that
// OK ends the program with `status`.
void ExpectResultBox(const std::string& name, std::vector<std::string> options,
                     const std::string& message, const std::string& detail, int status) {
    GuiSession s(name);
    const std::string pty = s.StartDevice(options);
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);
    const int box = s.WaitForLine("message-window", 30s);
    ASSERT_GE(box, 0) << s.ProgramStderr();
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), message);
    std::string expected = detail;
    expected.replace(expected.find('@'), 1, "COM1 (" + pty + ")");
    EXPECT_EQ(s.TextOf(s.WaitForLine("message-detail", 2s, box)), expected);
    s.Screenshot("root", name);
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    EXPECT_EQ(s.WaitForExit(10s), status);
    EXPECT_NE(s.ProgramStderr().find("norvane: " + expected + "\n"), std::string::npos)
        << s.ProgramStderr();
}

TEST(GuiSecondText, UnpluggedMidRunSaysTheSerialPortWasDisconnected) {
    // The terminal hangs up after 1000 bytes of the first region: the run ends there, with
    // what the verification's limit would have given, and never shows "Verifying...".
    ExpectResultBox("unplugged", {"--kind", "TV", "--disconnect-after", "1000"},
                    "Device error - code ffff returned", "The serial port @ was disconnected.", 15);
}

// The record is shown as it came: "ERROR" and the device's code bytes (0x4242 by default).
TEST(GuiSecondText, AnErrorRecordDuringTheSearchNamesItsPort) {
    ExpectResultBox("error-in-search",
                    {"--kind", "TV", "--error-at", "greeting", "--first-greeting-ms", "3000"},
                    "Invalid reply received from device", "Reply \"ERRORBB\" came from @.", 19);
}

}  // namespace
}  // namespace norvane::test
