// The Windows program's string table: the UTF-8 source in Windows-1252.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/generators/StringTableSource.h"
#include "tools/generators/Windows1252.h"

namespace norvane::gen {
namespace {

TEST(Windows1252, AccentsAndTheCodePagesOwnCharacters) {
    EXPECT_EQ(Windows1252FromUtf8("non \u00e8 una porta"), "non \xe8 una porta");
    EXPECT_EQ(Windows1252FromUtf8("\u00c0\u00ff"), "\xc0\xff");
    EXPECT_EQ(Windows1252FromUtf8("\u20ac \u2026 \u201c\u201d \u0178"), "\x80 \x85 \x93\x94 \x9f");
    EXPECT_EQ(Windows1252FromUtf8(""), "");
}

TEST(Windows1252, RefusesWhatItCannotWriteAndBrokenUtf8) {
    EXPECT_EQ(Windows1252FromUtf8("\u0142"), std::nullopt);            // Polish l with stroke
    EXPECT_EQ(Windows1252FromUtf8("\u0081"), std::nullopt);            // a C1 control
    EXPECT_EQ(Windows1252FromUtf8("\xe8"), std::nullopt);              // Latin-1, not UTF-8
    EXPECT_EQ(Windows1252FromUtf8("\xc3"), std::nullopt);              // cut short
    EXPECT_EQ(Windows1252FromUtf8("\xc0\xa2"), std::nullopt);          // overlong '"'
    EXPECT_EQ(Windows1252FromUtf8("\xf0\x9f\x98\x80"), std::nullopt);  // an emoji
}

TEST(Windows1252, TheShippedTableHasAWindowsForm) {
    std::ifstream in(STRINGS_SOURCE, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    auto source = ParseStringTableSource(text.str(), &error);
    ASSERT_TRUE(source) << error;
    const std::string english = source->languages[0].texts[12];
    ASSERT_TRUE(RecodeToWindows1252(*source, &error)) << error;
    EXPECT_EQ(source->languages[0].texts[12], english);
    EXPECT_EQ(source->languages[1].texts[27], "%s non \xe8 una porta seriale.");

    source->languages[1].texts[3] = "\u0142";
    EXPECT_FALSE(RecodeToWindows1252(*source, &error));
    EXPECT_NE(error.find("Italiano, id 3"), std::string::npos) << error;
}

}  // namespace
}  // namespace norvane::gen
