// The program in an Italian user's session: the window and its result box speak Italian.
#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
}  // namespace norvane::test
