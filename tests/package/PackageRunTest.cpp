// The Debian package's program as a user gets it: the package unpacked into a scratch root
// (nothing installed on this machine), the program run from there under Xvfb against the
// simulated device. It must program the device and exit 0, and its about box must name the
// project's version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/GuiSession.h"

namespace norvane::test {
namespace {

TEST(Package, TheUnpackedProgramProgramsTheDevice) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(fs::exists(NORVANE_DEB_PATH)) << NORVANE_DEB_PATH << ": run scripts/package.sh";
    fs::remove_all(NORVANE_PACKAGE_ROOT);
    fs::create_directories(NORVANE_PACKAGE_ROOT);
    const std::string unpack =
        std::string("dpkg-deb -x '") + NORVANE_DEB_PATH + "' '" + NORVANE_PACKAGE_ROOT + "'";
    ASSERT_EQ(std::system(unpack.c_str()), 0) << unpack;
    ASSERT_TRUE(fs::exists(NORVANE_APP_PATH));

    GuiSession s("package-run");
    const std::string pty = s.StartDevice(
        {"--kind", "TV", "--serial", "7654321", "--block-ms", "15", "--greeting-ms", "3000"});
    ASSERT_FALSE(pty.empty());
    s.StartProgram(pty);
    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);

    // The about box is left open: the result closes it.
    ASSERT_TRUE(s.SendKeys(s.TextOf(window), "F1"));
    const int about = s.WaitForLine("about-window", 5s, window);
    ASSERT_GE(about, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("about version", 1s, about)),
              std::string("Norvane Version ") + NORVANE_TEST_PROJECT_VERSION);

    const int box = s.WaitForLine("message-window", 60s, about);
    ASSERT_GE(box, 0) << Dump(s);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Device correctly programmed");
    s.Screenshot("root", "package-result");
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status) << Dump(s);
    EXPECT_EQ(*status, 0) << Dump(s);
}

}  // namespace
}  // namespace norvane::test
