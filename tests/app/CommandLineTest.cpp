// The programs' command lines: --help, --version and --port for both, the console's own
// options, and a refusal for anything else; the ports they name, numbered.
#include <gtest/gtest.h>

#include <vector>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/PortArguments.h"
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

TEST(CommandLine, PortsAndTheConsolesOptions) {
    const std::vector<const char*> arguments{"--station", "--port", "/dev/b", "--continuous",
                                             "--port",    "com2",   "--json", "--log",
                                             "x.log",     "--port", "/dev/c"};
    const CommandLine console = ParseCommandLine(arguments, kConsoleProgram);
    EXPECT_EQ(console.action, CommandAction::Run);
    EXPECT_TRUE(console.station && console.continuous && console.json);
    EXPECT_EQ(console.logPath, "x.log");
    // A path takes the lowest number that no "COMn" takes.
    const PortChoice choice = PortsFromArguments(console.ports);
    ASSERT_EQ(choice.ports.size(), 3u);
    EXPECT_EQ(choice.ports[0].number, 1);
    EXPECT_EQ(choice.ports[0].name, "/dev/b");
    EXPECT_EQ(choice.ports[1].number, 2);
    EXPECT_EQ(choice.ports[1].name, "COM2");
    EXPECT_EQ(choice.ports[2].number, 3);
    EXPECT_EQ(choice.namedTwice, "");
    EXPECT_EQ(PortsFromArguments({"COM12", "/dev/x", "com12"}).namedTwice, "com12");
    EXPECT_EQ(PortsFromArguments({}).ports.size(), 8u);
    for (const char* notCom : {"COM0", "COM256", "COM", "COMX", "COM1x", "CON1"}) {
        EXPECT_EQ(ComNumberOf(notCom), 0) << notCom;
    }
    EXPECT_EQ(ComNumberOf("COM255"), 255);

    // The window program takes --port, but none of the console's options.
    EXPECT_EQ(Parse({"--port", "COM3"}).ports, std::vector<std::string>{"COM3"});
    EXPECT_EQ(Parse({"--station"}).action, CommandAction::Refuse);
    const CommandLine missing = Parse({"--port"});
    EXPECT_EQ(missing.action, CommandAction::Refuse);
    EXPECT_TRUE(missing.missingValue);
}

}  // namespace
}  // namespace norvane
