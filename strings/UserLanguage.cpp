#include "strings/UserLanguage.h"

#include "platform/AsciiCase.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

struct KnownLanguage {
    const char* code;          // ISO 639-1
    uint16_t windowsLanguage;  // PRIMARYLANGID on Windows
    const char* nativeName;
    const char* englishName;
};

// Names a block may carry. A table gains a language by adding its block; only a language
// missing here needs a line too.
constexpr KnownLanguage kKnownLanguages[] = {
    {"en", 0x09, "English", "English"},      {"it", 0x10, "Italiano", "Italian"},
    {"de", 0x07, "Deutsch", "German"},       {"fr", 0x0c, "Fran\u00e7ais", "French"},
    {"es", 0x0a, "Espa\u00f1ol", "Spanish"}, {"pt", 0x16, "Portugu\u00eas", "Portuguese"},
    {"nl", 0x13, "Nederlands", "Dutch"},
};

}  // namespace

std::string_view MessagesLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

std::string LanguageCodeOfLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    if (language == "C" || language == "POSIX") {
        return {};
    }
    std::string code;
    for (char c : language) {
        code.push_back(AsciiLower(c));
    }
    return code;
}

std::string LanguageCodeOfWindowsLanguage(uint16_t primaryLanguage) {
    for (const KnownLanguage& known : kKnownLanguages) {
        if (known.windowsLanguage == primaryLanguage) {
            return known.code;
        }
    }
    return {};
}

uint32_t LanguageBlockFor(const MultiStrings& strings, std::string_view code) {
    for (const KnownLanguage& known : kKnownLanguages) {
        if (code != known.code) {
            continue;
        }
        for (uint32_t block = 0; block < strings.languageCount; ++block) {
            const std::string_view name = strings.LanguageName(block);
            if (EqualIgnoringAsciiCase(name, known.nativeName) ||
                EqualIgnoringAsciiCase(name, known.englishName)) {
                return block;
            }
        }
    }
    return 0;
}

void SelectUserLanguage(MultiStrings& strings) {
    // A block that failed to load in full is refused, and the first language stays.
    strings.SelectLanguage(LanguageBlockFor(strings, UserLanguageCode()));
}

}  // namespace norvane
