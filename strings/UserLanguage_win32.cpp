#include "platform/Win32.h"
#include "strings/UserLanguage.h"

namespace norvane {

std::string UserLanguageCode() {
    // The language of the user's menus and dialogs, which is what the user reads.
    return LanguageCodeOfWindowsLanguage(PRIMARYLANGID(GetUserDefaultUILanguage()));
}

}  // namespace norvane
