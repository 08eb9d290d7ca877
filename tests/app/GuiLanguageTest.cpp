// The program in an Italian user's session: the window and its result box speak Italian.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <sstream>

#include "tests/app/GuiSession.h"

namespace norvane::test {
namespace {

TEST(GuiLanguage, AnItalianLocaleGetsTheItalianWindowAndResult) {
    // The program inherits the test's environment; LC_ALL is the first variable it reads.
    const std::string saved = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    GuiSession s("italian");
    s.StartProgram("");  // no port: the search goes on until Esc
    setenv("LC_ALL", saved.c_str(), 1);

    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0);
    const std::string mainWindow = s.TextOf(window);
    EXPECT_EQ(s.TextOf(s.WaitForLine("group status", 1s)), "Stato");
    EXPECT_EQ(s.TextOf(s.WaitForLine("group serial", 1s)), "Numero di serie");
    EXPECT_EQ(s.TextOf(s.WaitForLine("menu", 1s)), "_Informazioni su Norvane...");
    EXPECT_EQ(s.TextOf(s.WaitForLine("label status", 10s)), "Ricerca del dispositivo...");
    s.Screenshot(mainWindow, "italian-main-window");

    ASSERT_TRUE(s.SendKeys(mainWindow, "Escape"));
    const int box = s.WaitForLine("message-window", 5s);
    ASSERT_GE(box, 0);
    EXPECT_EQ(s.TextOf(s.WaitForLine("message", 2s, box)), "Programmazione interrotta");
    s.Screenshot(s.TextOf(box), "italian-result-box");
    ASSERT_TRUE(s.SendKeys(s.TextOf(box), "Return"));
    const auto status = s.WaitForExit(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 18);
}

// The desktop's large text (GDK_DPI_SCALE 1.5) in Italian, the longest texts, and a serial
// number in wide capitals: every text is laid out with the room it needs, so none is cut and no
// caption runs into its neighbour ("width <name> <room> <text's natural width>" in the trace,
// at the first drawing and again after each text has been laid out).
TEST(GuiLayout, LargeItalianTextGetsTheRoomItNeeds) {
    const std::string savedLanguage = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    setenv("GDK_DPI_SCALE", "1.5", 1);
    GuiSession s("large-italian");
    const std::string pty =
        s.StartDevice({"--kind", "TV", "--serial", "WWWWWWWW", "--block-ms", "100"});
    s.StartProgram(pty);
    setenv("LC_ALL", savedLanguage.c_str(), 1);
    unsetenv("GDK_DPI_SCALE");
    ASSERT_FALSE(pty.empty());

    const int window = s.WaitForLine("window", 20s);
    ASSERT_GE(window, 0) << Dump(s);
    const int programming = s.WaitForLine("label status Programmazione", 30s);
    ASSERT_GE(programming, 0) << Dump(s);
    ASSERT_GE(s.WaitForLine("width status", 10s, programming), 0) << Dump(s);
    s.Screenshot(s.TextOf(window), "large-italian-main-window");

    std::set<std::string> seen;
    for (const std::string& line : s.TraceLines()) {
        std::istringstream words(line);
        std::string event, name;
        int room = 0, natural = 0;
        if (words >> event >> name >> room >> natural && event == "width") {
            seen.insert(name);
            EXPECT_GE(room, natural) << line;
        }
    }
    EXPECT_EQ(seen, (std::set<std::string>{"status", "version", "device", "serial", "group-status",
                                           "group-version", "group-device", "group-serial"}));
    EXPECT_GE(s.CountLines("width serial"), 2) << "the serial number was laid out again";
    ASSERT_EQ(kill(s.ProgramPid(), SIGTERM), 0);
    EXPECT_EQ(s.WaitForExit(10s), 18);
}

}  // namespace
}  // namespace norvane::test
