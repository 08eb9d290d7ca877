// The about box's lines: the version information as the build embeds it, and what the box
// shows when values are missing.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "app/AboutBox.h"
#include "platform/Resources.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

const MultiStrings& Strings() {
    static const bool loaded = TheStrings().Load(StringTableResource());
    EXPECT_TRUE(loaded);
    return TheStrings();
}

TEST(VersionInfo, ParsesNameValueLines) {
    const VersionInfo info = VersionInfo::Parse(
        Bytes("# comment\r\nProductVersion=2.1.0\r\n\nPrivateBuild=v2.1-4-gabc = x\n"
              "novalue\n=orphan\nLegalCopyright=\nProductVersion=2.1.1"));
    EXPECT_EQ(info.Query("ProductVersion"), "2.1.1") << "a later line wins; no final newline";
    EXPECT_EQ(info.Query("PrivateBuild"), "v2.1-4-gabc = x") << "split at the first '='";
    EXPECT_EQ(info.Query("LegalCopyright"), "");
    EXPECT_FALSE(info.Query("novalue"));
    EXPECT_FALSE(info.Query(""));
    EXPECT_FALSE(info.Query("productversion")) << "names are exact";
    EXPECT_FALSE(VersionInfo::Parse({}).Query("ProductVersion"));
}

TEST(AboutLines, FormatsTheThreeValuesAndTheCaption) {
    const VersionInfo info =
        VersionInfo::Parse(Bytes("ProductVersion=2.1.0\nPrivateBuild=v2.1.0-3-g1a2b3c4 2026-12-07\n"
                                 "LegalCopyright=Copyright (C) 2026 Halvio %s\n"));
    const AboutLines lines = AboutLinesFrom(info, Strings());
    EXPECT_EQ(lines.caption, "About Norvane by Halvio");
    EXPECT_EQ(lines.version, "Norvane Version 2.1.0");
    EXPECT_EQ(lines.build, "Build v2.1.0-3-g1a2b3c4 2026-12-07");
    EXPECT_EQ(lines.copyright, "Copyright (C) 2026 Halvio %s") << "shown as it stands";
}

TEST(AboutLines, MissingValuesLeaveTheirLinesEmpty) {
    const AboutLines lines =
        AboutLinesFrom(VersionInfo::Parse(Bytes("PrivateBuild=local\n")), Strings());
    EXPECT_EQ(lines.version, "");
    EXPECT_EQ(lines.build, "Build local");
    EXPECT_EQ(lines.copyright, "");
    EXPECT_EQ(lines.caption, "About Norvane by Halvio");
}

TEST(AboutLines, ProgramCarriesItsBuildsVersionInformation) {
    ASSERT_FALSE(FindResourceBytes("VERSION", kVersionResourceId).empty());
    const VersionInfo info = VersionInfo::OfProgram();
    EXPECT_EQ(info.Query("ProductVersion"), NORVANE_TEST_PROJECT_VERSION);
    const auto build = info.Query("PrivateBuild");
    ASSERT_TRUE(build);
    EXPECT_GT(build->size(), 11u) << "build identity and day: " << *build;
    EXPECT_TRUE(info.Query("LegalCopyright"));
    const AboutLines lines = AboutLinesFrom(info, Strings());
    EXPECT_EQ(lines.version, std::string("Norvane Version ") + NORVANE_TEST_PROJECT_VERSION);
}

}  // namespace
}  // namespace norvane
