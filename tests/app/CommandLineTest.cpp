// The window program's command line: nothing but --help and --version, and a refusal of its
// own for anything else.
#include <gtest/gtest.h>

#include <vector>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

CommandLine Parse(std::vector<const char*> arguments) {
    return ParseCommandLine(arguments);
}

TEST(CommandLine, HelpVersionAndAnythingElse) {
    EXPECT_EQ(Parse({}).action, CommandAction::Run);
    EXPECT_EQ(Parse({"--help"}).action, CommandAction::Help);
    EXPECT_EQ(Parse({"--version", "--help"}).action, CommandAction::Version);
    struct Refused {
        std::vector<const char*> arguments;
        const char* named;
    };
    for (const Refused& c :
         {Refused{{"-h"}, "-h"}, Refused{{"--versoin"}, "--versoin"}, Refused{{""}, ""},
          Refused{{"--help", "COM3"}, "COM3"}, Refused{{"COM3", "--help"}, "COM3"}}) {
        const CommandLine command = Parse(c.arguments);
        EXPECT_EQ(command.action, CommandAction::Refuse) << c.named;
        EXPECT_EQ(command.refused, c.named);
    }
}

TEST(CommandLine, RepliesAndTheirStatuses) {
    ASSERT_TRUE(TheStrings().Load(StringTableResource()));
    AboutLines about;
    about.version = "Norvane Version 2.1.0";
    about.build = "Build v2.1.0 2026-12-08";
    EXPECT_FALSE(ReplyTo(Parse({}), TheStrings(), about));

    const auto help = ReplyTo(Parse({"--help"}), TheStrings(), about);
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exitStatus, 0);
    EXPECT_FALSE(help->toStandardError);
    EXPECT_NE(help->text.find("--version"), std::string::npos) << help->text;

    const auto version = ReplyTo(Parse({"--version"}), TheStrings(), about);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->text, "Norvane Version 2.1.0\nBuild v2.1.0 2026-12-08\n");
    EXPECT_EQ(version->exitStatus, 0);

    const auto refusal = ReplyTo(Parse({"--verison"}), TheStrings(), about);
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->toStandardError);
    EXPECT_EQ(refusal->exitStatus, kExitBadArgument);
    EXPECT_EQ(refusal->text, "norvane: unknown argument \"--verison\". Try --help.\n");
}

}  // namespace
}  // namespace norvane
