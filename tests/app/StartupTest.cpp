// Start-up checks of the string table, and the window menu's mnemonic.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/Startup.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

std::vector<uint8_t> Table(uint32_t count, const std::vector<std::string>& texts) {
    std::vector<uint8_t> data;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    std::string block;
    for (const auto& t : texts) {
        block += t;
        block += '\0';
    }
    u32(count);
    u32(1);
    char name[20] = "English";
    data.insert(data.end(), name, name + 20);
    u32(static_cast<uint32_t>(block.size()));
    data.insert(data.end(), block.begin(), block.end());
    return data;
}

TEST(StartupStrings, ShippedTableLoads) {
    MultiStrings strings;
    EXPECT_EQ(LoadStringTable(StringTableResource(), strings), std::nullopt);
    EXPECT_STREQ(strings.Text(22), "Norvane");
}

TEST(StartupStrings, MissingShortOrMalformedTablesAreRefused) {
    MultiStrings strings;
    const auto missing = LoadStringTable({}, strings);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("no string table"), std::string::npos);

    const std::vector<std::string> full(IDS_COUNT, "x");
    EXPECT_EQ(LoadStringTable(Table(IDS_COUNT, full), strings), std::nullopt);

    // Announces every text but carries one fewer.
    const auto shortBlock =
        LoadStringTable(Table(IDS_COUNT, std::vector<std::string>(IDS_COUNT - 1, "x")), strings);
    ASSERT_TRUE(shortBlock);
    EXPECT_NE(shortBlock->find("malformed"), std::string::npos);

    // Well formed, but too small for the program.
    const auto tooFew = LoadStringTable(Table(5, std::vector<std::string>(5, "x")), strings);
    ASSERT_TRUE(tooFew);
    EXPECT_NE(tooFew->find("needs " + std::to_string(IDS_COUNT)), std::string::npos);

    std::vector<uint8_t> truncated = Table(IDS_COUNT, full);
    truncated.resize(30);
    EXPECT_TRUE(LoadStringTable(truncated, strings));

    std::vector<uint8_t> noLanguage = Table(IDS_COUNT, full);
    noLanguage[4] = 0;
    EXPECT_TRUE(LoadStringTable(noLanguage, strings));

    for (const auto* error : {&*missing, &*shortBlock, &*tooFew}) {
        EXPECT_EQ(error->find('\n'), std::string::npos) << "one line: " << *error;
    }
}

TEST(StartupMnemonic, AmpersandBecomesUnderscore) {
    EXPECT_EQ(UnderscoreMnemonic("&About Norvane..."), "_About Norvane...");
    EXPECT_EQ(UnderscoreMnemonic("Save && E&xit"), "Save & E_xit");
    EXPECT_EQ(UnderscoreMnemonic("snake_case"), "snake__case");
    EXPECT_EQ(UnderscoreMnemonic(""), "");
}

}  // namespace
}  // namespace norvane
