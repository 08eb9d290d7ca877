#include "app/Startup.h"

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/UserLanguage.h"

namespace norvane {

std::optional<std::string> LoadStringTable(std::span<const uint8_t> resource,
                                           MultiStrings& strings) {
    if (resource.empty()) {
        return "the program carries no string table (resource STRINGS 131)";
    }
    if (!strings.Load(resource)) {
        return "the string table (resource STRINGS 131) is malformed";
    }
    if (strings.languageCount == 0 || strings.stringCount < IDS_COUNT) {
        return "the string table (resource STRINGS 131) has " +
               std::to_string(strings.stringCount) + " texts in " +
               std::to_string(strings.languageCount) + " languages; the program needs " +
               std::to_string(IDS_COUNT) + " in at least one";
    }
    SelectUserLanguage(strings);
    return std::nullopt;
}

std::string UnderscoreMnemonic(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            } else {
                out += '_';
            }
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace norvane
