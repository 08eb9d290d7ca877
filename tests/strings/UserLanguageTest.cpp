// Which block of the table the user gets, from the locale or the Windows UI language.
#include <gtest/gtest.h>

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/UserLanguage.h"

namespace norvane {
namespace {

TEST(UserLanguage, TheFirstNonEmptyOfLcAllLcMessagesAndLang) {
    EXPECT_EQ(MessagesLocale("it_IT.UTF-8", "de_DE", "fr_FR"), "it_IT.UTF-8");
    EXPECT_EQ(MessagesLocale("", "de_DE", "fr_FR"), "de_DE");
    EXPECT_EQ(MessagesLocale(nullptr, "", "fr_FR"), "fr_FR");
    EXPECT_EQ(MessagesLocale(nullptr, nullptr, nullptr), "");
}

TEST(UserLanguage, LanguageCodeOfALocale) {
    EXPECT_EQ(LanguageCodeOfLocale("it_IT.UTF-8"), "it");
    EXPECT_EQ(LanguageCodeOfLocale("it@euro"), "it");
    EXPECT_EQ(LanguageCodeOfLocale("IT"), "it");
    EXPECT_EQ(LanguageCodeOfLocale("de_CH"), "de");
    EXPECT_EQ(LanguageCodeOfLocale("C"), "");
    EXPECT_EQ(LanguageCodeOfLocale("C.UTF-8"), "");
    EXPECT_EQ(LanguageCodeOfLocale("POSIX"), "");
    EXPECT_EQ(LanguageCodeOfLocale(""), "");
}

TEST(UserLanguage, WindowsPrimaryLanguages) {
    EXPECT_EQ(LanguageCodeOfWindowsLanguage(0x10), "it");  // LANG_ITALIAN
    EXPECT_EQ(LanguageCodeOfWindowsLanguage(0x09), "en");  // LANG_ENGLISH
    EXPECT_EQ(LanguageCodeOfWindowsLanguage(0x11), "");    // LANG_JAPANESE: none here
}

TEST(UserLanguage, ItalianFindsItsBlockAnythingElseTheFirst) {
    MultiStrings strings;
    ASSERT_TRUE(strings.Load(StringTableResource()));
    EXPECT_EQ(LanguageBlockFor(strings, "it"), 1u);
    EXPECT_EQ(LanguageBlockFor(strings, "en"), 0u);
    EXPECT_EQ(LanguageBlockFor(strings, "de"), 0u);  // a language the table lacks
    EXPECT_EQ(LanguageBlockFor(strings, ""), 0u);

    ASSERT_TRUE(strings.SelectLanguage(1));
    EXPECT_STREQ(strings.Text(IDS_STATUS), "Stato");
    EXPECT_STREQ(strings.Text(IDS_STATUS, 0), "Status");
    // Every Italian text keeps the English one's conversions, in the same order: FormatText
    // fills them by position.
    const auto conversions = [](std::string_view text) {
        std::string found;
        for (size_t at = text.find('%'); at != std::string_view::npos;
             at = text.find('%', at + 2)) {
            found += text.substr(at, 2);
        }
        return found;
    };
    for (int id = 0; id < IDS_COUNT; ++id) {
        EXPECT_EQ(conversions(strings.Text(id, 1)), conversions(strings.Text(id, 0)))
            << "id " << id;
    }
    // a reload starts from the first language again
    ASSERT_TRUE(strings.Load(StringTableResource()));
    EXPECT_EQ(strings.SelectedLanguage(), 0u);
}

TEST(UserLanguage, ABlockCutShortIsNeverSelected) {
    // "Italiano" announces two texts and carries one: the load fails, and the user keeps the
    // first language rather than empty texts.
    std::vector<uint8_t> bytes = {2, 0, 0, 0, 2, 0, 0, 0};
    const auto block = [&](std::string name, const std::string& data) {
        name.resize(20, '\0');
        bytes.insert(bytes.end(), name.begin(), name.end());
        const uint32_t length = static_cast<uint32_t>(data.size());
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(length >> shift));
        }
        bytes.insert(bytes.end(), data.begin(), data.end());
    };
    block("English", std::string("yes\0no\0", 7));
    block("Italiano", std::string("si\0", 3));
    MultiStrings strings;
    EXPECT_FALSE(strings.Load(bytes));
    EXPECT_EQ(LanguageBlockFor(strings, "it"), 1u);
    EXPECT_FALSE(strings.SelectLanguage(1));
    EXPECT_FALSE(strings.SelectLanguage(2));
    EXPECT_STREQ(strings.Text(1), "no");
}

}  // namespace
}  // namespace norvane
