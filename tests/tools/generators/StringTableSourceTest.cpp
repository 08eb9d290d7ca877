#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/generators/StringTableSource.h"

namespace norvane::gen {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Parse must fail with a message containing `needle`.
void ExpectError(const std::string& source, const std::string& needle) {
    std::string error;
    EXPECT_FALSE(ParseStringTableSource(source, &error).has_value()) << source;
    EXPECT_NE(error.find(needle), std::string::npos) << "error was: " << error;
}

TEST(StringTableSource, ShippedSourceBuildsTheTable) {
    std::string error;
    const auto source = ParseStringTableSource(ReadText(STRINGS_SOURCE), &error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->count, 49u);
    ASSERT_EQ(source->languages.size(), 2u);
    EXPECT_EQ(source->languages[0].name, "English");
    EXPECT_EQ(source->languages[1].name, "Italiano");
    EXPECT_EQ(source->languages[0].texts[15], "Device error - code %04x returned");
    const std::vector<uint8_t> bytes = BuildStringTable(*source);
    ASSERT_EQ(bytes.size(), 4751u);
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 2123);
}

TEST(StringTableSource, ExactLayoutOfASmallTable) {
    std::string error;
    const auto source = ParseStringTableSource(
        "# comment\n\ncount 2\nlanguage En\nblock-length 8\n1 \"b\\\"\"\n0 \"a\"\n"
        "language Xx\r\n0 \"\"\n1 \"\\\\\\n\"\n",
        &error);
    ASSERT_TRUE(source) << error;
    const std::vector<uint8_t> bytes = BuildStringTable(*source);
    std::vector<uint8_t> expected = {2, 0, 0, 0, 2, 0, 0, 0};
    const auto block = [&](std::string name, uint32_t length, std::string data) {
        name.resize(20, '\0');
        expected.insert(expected.end(), name.begin(), name.end());
        for (int shift = 0; shift < 32; shift += 8) {
            expected.push_back(static_cast<uint8_t>(length >> shift));
        }
        expected.insert(expected.end(), data.begin(), data.end());
    };
    block("En", 8, std::string("a\0b\"\0\0\0\0", 8));  // ids in order, zero fill behind
    block("Xx", 4, std::string("\0\\\n\0", 4));        // default length: exactly the texts
    EXPECT_EQ(bytes, expected);
}

TEST(StringTableSource, RejectsMissingAndDuplicateIds) {
    ExpectError("count 3\nlanguage En\n0 \"a\"\n2 \"c\"\n", "lacks id 1");
    ExpectError("count 2\nlanguage En\n0 \"a\"\n0 \"b\"\n1 \"c\"\n", "line 4: duplicate id 0");
    ExpectError("count 2\nlanguage En\n0 \"a\"\n2 \"c\"\n", "out of range");
    ExpectError("count 2\nlanguage En\n0 \"a\"\n1 \"b\"\nlanguage De\n0 \"x\"\n", "De lacks id 1");
}

TEST(StringTableSource, RejectsTextsLongerThanTheBlock) {
    // "ab\0c\0" takes 5 bytes
    ExpectError("count 2\nlanguage En\nblock-length 4\n0 \"ab\"\n1 \"c\"\n",
                "more than block-length 4");
    std::string error;
    EXPECT_TRUE(
        ParseStringTableSource("count 2\nlanguage En\nblock-length 5\n0 \"ab\"\n1 \"c\"\n", &error))
        << error;
}

TEST(StringTableSource, RejectsLanguageNamesThatDoNotFitTheField) {
    ExpectError("count 1\nlanguage ABCDEFGHIJKLMNOPQRST\n0 \"a\"\n", "at most 19");
    std::string error;
    EXPECT_TRUE(ParseStringTableSource("count 1\nlanguage ABCDEFGHIJKLMNOPQRS\n0 \"a\"\n", &error))
        << error;
    ExpectError("count 1\nlanguage\n0 \"a\"\n", "needs a name");
}

TEST(StringTableSource, RejectsOtherMalformedSources) {
    ExpectError("", "no count");
    ExpectError("count 1\n", "no language");
    ExpectError("language En\n", "count must come before");
    ExpectError("count 1\ncount 1\n", "duplicate count");
    ExpectError("count x\n", "count needs a number");
    ExpectError("count 0\n", "count needs a number");
    ExpectError("count 1\n0 \"a\"\n", "text outside a language");
    ExpectError("count 1\nblock-length 4\n", "outside a language");
    ExpectError("count 1\nlanguage En\nblock-length 4\nblock-length 5\n", "duplicate block");
    ExpectError("count 1\nlanguage En\nblock-length -1\n", "needs a number");
    ExpectError("count 1\nlanguage En\n0 a\n", "double quotes");
    ExpectError("count 1\nlanguage En\n0 \"a\"b\"\n", "unescaped quote");
    ExpectError("count 1\nlanguage En\n0 \"a\\q\"\n", "unknown escape");
    ExpectError("count 1\nlanguage En\n0 \"a\\\"\n", "backslash at the end");
    ExpectError("count 1\nlanguage En\nfrobnicate\n", "line 3: unknown directive");
    const char withNul[] = "count 1\nlanguage En\n0 \"a\0b\"\n";
    ExpectError(std::string(withNul, sizeof withNul - 1), "NUL");
}

TEST(StringTableSource, GeneratorReportsErrorsAndFailsTheBuildStep) {
    const std::string bad = std::string(TEST_SCRATCH_DIR) + "/bad_strings.txt";
    const std::string out = std::string(TEST_SCRATCH_DIR) + "/bad_strings.bin";
    std::ofstream(bad) << "count 2\nlanguage En\n0 \"a\"\n";
    const std::string command =
        std::string("\"") + MAKE_STRINGS + "\" \"" + bad + "\" \"" + out + "\" 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(std::ifstream(out).good());  // no output left behind
    std::remove(bad.c_str());
}

}  // namespace
}  // namespace norvane::gen
