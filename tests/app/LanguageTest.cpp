// The window in the user's language: labels, result texts and the about box follow the
// locale when the table has its language, and stay in the first language otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/AboutBox.h"
#include "app/ProgrammerDlg.h"
#include "app/Startup.h"
#include "engine/Results.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

// Sets the locale variables for one test and puts them back afterwards.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
        Set("LC_ALL", lcAll);
        Set("LC_MESSAGES", lcMessages);
        Set("LANG", lang);
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

private:
    void Set(const std::string& name, const char* value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(UserLanguageWindow, ItalianLocaleGivesItalianLabelsResultsAndAboutBox) {
    LocaleEnvironment locale(nullptr, nullptr, "it_IT.UTF-8");
    MultiStrings strings;
    ASSERT_EQ(LoadStringTable(StringTableResource(), strings), std::nullopt);

    const DialogTexts texts = DialogTextsFrom(strings);
    EXPECT_EQ(texts.statusGroup, "Stato");
    EXPECT_EQ(texts.versionGroup, "Versione firmware");
    EXPECT_EQ(texts.deviceGroup, "Dispositivo");
    EXPECT_EQ(texts.serialGroup, "Numero di serie");
    EXPECT_EQ(texts.aboutItem, "&Informazioni su Norvane...");
    EXPECT_EQ(MessageOf(MakeResult(RC_SUCCESS), strings), "Dispositivo programmato correttamente");
    EXPECT_EQ(MessageOf(MakeResult(RC_DEVICE_ERROR, DETAIL_TIMEOUT), strings),
              "Errore del dispositivo - restituito il codice ffff");
    // the exit status stays the message's number, whatever the language
    EXPECT_EQ(ExitStatusOf(MakeResult(RC_NO_DEVICE)), 13);

    const AboutLines about = AboutLinesFrom(
        VersionInfo::Parse({reinterpret_cast<const uint8_t*>("ProductVersion=2.1.0"), 20}),
        strings);
    EXPECT_EQ(about.caption, "Informazioni su Norvane di Halvio");
    EXPECT_EQ(about.version, "Norvane versione 2.1.0");
}

TEST(UserLanguageWindow, LcAllWinsAndALanguageTheTableLacksGivesTheFirst) {
    {
        LocaleEnvironment locale("it_IT.UTF-8", "de_DE", "de_DE");
        MultiStrings strings;
        ASSERT_EQ(LoadStringTable(StringTableResource(), strings), std::nullopt);
        EXPECT_EQ(DialogTextsFrom(strings).statusGroup, "Stato");
    }
    for (const char* lang : {"de_DE", "C", "POSIX", "en_GB.UTF-8"}) {
        LocaleEnvironment locale(nullptr, "", lang);
        MultiStrings strings;
        ASSERT_EQ(LoadStringTable(StringTableResource(), strings), std::nullopt);
        EXPECT_EQ(DialogTextsFrom(strings).statusGroup, "Status") << lang;
        EXPECT_EQ(MessageOf(MakeResult(RC_SUCCESS), strings), "Device correctly programmed");
    }
}

}  // namespace
}  // namespace norvane
