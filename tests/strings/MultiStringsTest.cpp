#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Resources.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// The first 27 texts as the program has always carried them, byte for byte.
constexpr std::array<const char*, 27> kEnglish = {
    "Erasing flash memory...",
    "Programming flash memory #%d...",
    "Verifying correct programming...",
    "Status",
    "Programming flash memory (block #%d)...",
    "Program version",
    "Searching device...",
    "Device detected on COM%d",
    "Tarvik",
    "Gremmet",
    "Osk3",
    "Unknown device",
    "Device correctly programmed",
    "No device detected on any serial port",
    "Wrong device detected on serial port",
    "Device error - code %04x returned",
    "Device error, unable to erase flash memory",
    "Invalid program file",
    "Programming interrupted",
    "Invalid reply received from device",
    "Device",
    "Serial number",
    "Norvane",
    "Norvane Version %s",
    "Build %s",
    "About Norvane by Halvio",
    "Erasing flash memory #%d...",
};

// Builds a table resource by hand: header, then per language its name field, the block length
// and the raw block bytes as given (so tests can write malformed blocks).
class TableBuilder {
public:
    TableBuilder(uint32_t stringCount, uint32_t languageCount) {
        Put32(stringCount);
        Put32(languageCount);
    }
    TableBuilder& Language(const std::string& name, const std::string& block) {
        return Language(name, block, static_cast<uint32_t>(block.size()));
    }
    TableBuilder& Language(const std::string& name, const std::string& block,
                           uint32_t blockLength) {
        std::string field = name;
        field.resize(20, '\0');
        bytes_.insert(bytes_.end(), field.begin(), field.end());
        Put32(blockLength);
        bytes_.insert(bytes_.end(), block.begin(), block.end());
        return *this;
    }
    TableBuilder& Raw(const std::string& raw) {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    void Put32(uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<uint8_t>(v >> shift));
        }
    }
    std::vector<uint8_t> bytes_;
};

std::string Block(std::initializer_list<std::string_view> texts) {
    std::string block;
    for (std::string_view t : texts) {
        block.append(t);
        block.push_back('\0');
    }
    return block;
}

// --- The embedded table -------------------------------------------------------------------

TEST(EmbeddedStringTable, HeaderAndBlockLengthOfTheShippedTable) {
    const auto table = FindResourceBytes("Strings", kStringsResourceId);
    ASSERT_EQ(table.size(), 4751u);
    EXPECT_EQ(table.data(), StringTableResource().data());
    EXPECT_EQ(table.size(), StringTableResource().size());
    const auto u32 = [&](size_t at) {
        return uint32_t{table[at]} | uint32_t{table[at + 1]} << 8 | uint32_t{table[at + 2]} << 16 |
               uint32_t{table[at + 3]} << 24;
    };
    EXPECT_EQ(u32(0), uint32_t{IDS_COUNT});
    EXPECT_EQ(u32(4), 2u);
    EXPECT_EQ(std::memcmp(table.data() + 8, "English\0\0\0\0\0\0\0\0\0\0\0\0\0", 20), 0);
    EXPECT_EQ(u32(28), 2123u);  // exactly the texts
    EXPECT_EQ(std::memcmp(table.data() + 32 + 2123, "Italiano\0", 9), 0);
    EXPECT_EQ(table.back(), 0);
}

TEST(EmbeddedStringTable, LoadsBackToTheShippedTexts) {
    MultiStrings strings;
    ASSERT_TRUE(strings.Load(StringTableResource()));
    EXPECT_EQ(strings.stringCount, uint32_t{IDS_COUNT});
    EXPECT_EQ(strings.languageCount, 2u);
    EXPECT_STREQ(strings.LanguageName(0), "English");
    for (int id = 0; id < static_cast<int>(kEnglish.size()); ++id) {
        EXPECT_STREQ(strings.Text(id), kEnglish[static_cast<size_t>(id)]) << "id " << id;
    }
    // texts point into the resource, not into copies
    const auto table = StringTableResource();
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(strings.Text(IDS_ERASING)), table.data() + 32);
    EXPECT_STREQ(strings.Text(IDS_PORT_IN_USE_BY), "%s is in use by %s. Close it and try again.");
    EXPECT_STREQ(strings.Text(IDS_BAD_ARGUMENT), "%s: unknown argument \"%s\". Try --help.");
    EXPECT_EQ(
        std::string(strings.Text(IDS_HELP_WINDOW)).find("Usage: norvane [--help | --version]\n"),
        0u);
    EXPECT_EQ(std::string(strings.Text(IDS_HELP_CONSOLE))
                  .find("Usage: norvane-console [--json] [--help | --version]\n"),
              0u);
    EXPECT_STREQ(strings.Text(IDS_COUNT), "");
    EXPECT_STREQ(strings.Text(0, 2), "");
}

TEST(EmbeddedStringTable, TheGlobalTableIsOneObject) {
    EXPECT_EQ(&TheStrings(), &TheStrings());
    ASSERT_TRUE(TheStrings().Load(StringTableResource()));
    EXPECT_STREQ(TheStrings().Text(IDS_CAPTION), "Norvane");
}

// --- Well-formed tables ----------------------------------------------------------------------

TEST(MultiStringsLoad, BlockWithExactlyStringCountStringsLoads) {
    TableBuilder t(3, 1);
    t.Language("English", Block({"one", "two", "three"}));
    MultiStrings s;
    ASSERT_TRUE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "one");
    EXPECT_STREQ(s.Text(1), "two");
    EXPECT_STREQ(s.Text(2), "three");
    EXPECT_STREQ(s.Text(3), "");
    EXPECT_STREQ(s.Text(-1), "");
}

TEST(MultiStringsLoad, SecondLanguageIsFoundByBlockLengthNotByScanning) {
    // The first block carries leftover bytes behind its strings, including text that looks
    // like a language name; only blockLength tells where the next block starts.
    std::string first = Block({"yes", "no"}) + std::string("Deutsch\0\0\0fake\0", 16);
    TableBuilder t(2, 2);
    t.Language("English", first).Language("Deutsch", Block({"ja", "nein"}));
    MultiStrings s;
    ASSERT_TRUE(s.Load(t.Bytes()));
    EXPECT_EQ(s.languageCount, 2u);
    EXPECT_STREQ(s.LanguageName(0), "English");
    EXPECT_STREQ(s.LanguageName(1), "Deutsch");
    EXPECT_STREQ(s.Text(0, 0), "yes");
    EXPECT_STREQ(s.Text(1, 0), "no");
    EXPECT_STREQ(s.Text(0, 1), "ja");
    EXPECT_STREQ(s.Text(1, 1), "nein");
    EXPECT_STREQ(s.Text(0, 2), "");
    EXPECT_STREQ(s.LanguageName(2), "");
}

TEST(MultiStringsLoad, TwoConsecutiveNulsGiveAnEmptyString) {
    TableBuilder t(3, 1);
    t.Language("English", Block({"a", "", "c"}));
    MultiStrings s;
    ASSERT_TRUE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "a");
    EXPECT_STREQ(s.Text(1), "");
    EXPECT_STREQ(s.Text(2), "c");
}

TEST(MultiStringsLoad, ReloadReplacesThePreviousTable) {
    TableBuilder a(2, 1);
    a.Language("English", Block({"a", "b"}));
    TableBuilder b(1, 1);
    b.Language("Other", Block({"z"}));
    MultiStrings s;
    ASSERT_TRUE(s.Load(a.Bytes()));
    ASSERT_TRUE(s.Load(b.Bytes()));
    EXPECT_EQ(s.stringCount, 1u);
    EXPECT_STREQ(s.Text(0), "z");
    EXPECT_STREQ(s.Text(1), "");
    EXPECT_STREQ(s.LanguageName(0), "Other");
}

// --- Malformed tables ------------------------------------------------------------------------

TEST(MultiStringsLoad, OneStringShortFailsButKeepsTheEntriesBeforeTheShortage) {
    TableBuilder t(3, 1);
    t.Language("English", Block({"one", "two"}));
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "one");
    EXPECT_STREQ(s.Text(1), "two");
    EXPECT_STREQ(s.Text(2), "");
}

TEST(MultiStringsLoad, FailureInSecondLanguageKeepsTheFirstUsable) {
    TableBuilder t(2, 2);
    t.Language("English", Block({"yes", "no"})).Language("Deutsch", Block({"ja"}));
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0, 0), "yes");
    EXPECT_STREQ(s.Text(1, 0), "no");
    EXPECT_STREQ(s.Text(0, 1), "ja");
    EXPECT_STREQ(s.Text(1, 1), "");
}

TEST(MultiStringsLoad, UnterminatedLastStringIsRejectedNotReadPastTheBlock) {
    // The block's last string has no NUL; the bytes right behind the block are the next
    // language's name, which a careless walk would take as the string's end.
    std::string block = Block({"one"}) + "two";
    TableBuilder t(2, 2);
    t.Language("English", block).Language("Deutsch", Block({"eins", "zwei"}));
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "one");
    EXPECT_STREQ(s.Text(1), "");

    // and at the very end of the resource (ASan would catch a read past it)
    TableBuilder end(1, 1);
    end.Language("English", "abc");
    std::vector<uint8_t> exact = end.Bytes();
    MultiStrings s2;
    EXPECT_FALSE(s2.Load(std::span<const uint8_t>(exact)));
    EXPECT_STREQ(s2.Text(0), "");
}

TEST(MultiStringsLoad, HeaderShorterThanEightBytesIsRejected) {
    MultiStrings s;
    const std::vector<uint8_t> tiny = {1, 0, 0, 0, 1, 0, 0};
    EXPECT_FALSE(s.Load(tiny));
    EXPECT_FALSE(s.Load({}));
    EXPECT_STREQ(s.Text(0), "");
}

TEST(MultiStringsLoad, BlockHeaderRunningPastTheEndIsRejected) {
    TableBuilder t(1, 2);
    t.Language("English", Block({"a"})).Raw("Deutsch");  // second block cut inside its name
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0, 0), "a");
    EXPECT_STREQ(s.LanguageName(1), "");
}

TEST(MultiStringsLoad, BlockDataRunningPastTheEndIsRejected) {
    TableBuilder t(2, 1);
    t.Language("English", Block({"a", "b"}), 100);  // announces more data than follows
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "");

    TableBuilder huge(2, 1);
    huge.Language("English", Block({"a", "b"}), 0xFFFFFFFFu);
    EXPECT_FALSE(s.Load(huge.Bytes()));
}

TEST(MultiStringsLoad, NameWithoutNulIsRejected) {
    TableBuilder t(1, 1);
    t.Raw("ABCDEFGHIJKLMNOPQRST").Raw(std::string("\x02\0\0\0", 4)).Raw(std::string("x\0", 2));
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.LanguageName(0), "");
}

TEST(MultiStringsLoad, AbsurdCountsDoNotAllocateHugeArrays) {
    // Four billion strings and languages announced in a few bytes: must fail quickly
    // without trying to allocate for them (a bad_alloc or an ASan report would end the test).
    TableBuilder t(0xFFFFFFFFu, 0xFFFFFFFFu);
    t.Language("English", Block({"a", "b"}));
    MultiStrings s;
    EXPECT_FALSE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "a");
    EXPECT_STREQ(s.Text(1), "b");
    EXPECT_STREQ(s.Text(2), "");
    EXPECT_STREQ(s.Text(0, 1), "");
}

TEST(MultiStringsLoad, ZeroLanguagesLoadsAnEmptyTable) {
    TableBuilder t(5, 0);
    MultiStrings s;
    EXPECT_TRUE(s.Load(t.Bytes()));
    EXPECT_STREQ(s.Text(0), "");
}

}  // namespace
}  // namespace norvane
