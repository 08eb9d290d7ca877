#include <cstdlib>

#include "strings/UserLanguage.h"

namespace norvane {

std::string UserLanguageCode() {
    return LanguageCodeOfLocale(
        MessagesLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")));
}

}  // namespace norvane
