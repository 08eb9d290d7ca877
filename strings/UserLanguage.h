// Which language of the string table the user gets: the user's own when the table has it,
// the table's first otherwise.
//
// A table's language blocks carry names as a person writes them ("English", "Italiano"), not
// codes; the user's side (a POSIX locale, a Windows language id) comes down to an ISO 639-1
// code. A small table of known languages joins the two, so the resource format and its names
// stay as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace norvane {

class MultiStrings;

// The locale that decides the language of messages: the first non-empty of LC_ALL,
// LC_MESSAGES and LANG, as the C library takes them; "" when none is set.
std::string_view MessagesLocale(const char* lcAll, const char* lcMessages, const char* lang);

// "it_IT.UTF-8" and "it@euro" give "it"; "C", "POSIX" (with or without a codeset) and ""
// give "": they ask for no language in particular.
std::string LanguageCodeOfLocale(std::string_view locale);

// The code of a Windows primary language id (PRIMARYLANGID of a LANGID); "" for one this
// program does not know.
std::string LanguageCodeOfWindowsLanguage(uint16_t primaryLanguage);

// The ISO 639-1 code of the user's language: from the environment on POSIX systems, from the
// user's UI language on Windows.
std::string UserLanguageCode();

// The block of `strings` whose name is the language `code` names (English or native name, in
// any letter case); 0, the first language, when there is none.
uint32_t LanguageBlockFor(const MultiStrings& strings, std::string_view code);

// Selects the user's language in `strings` (after it has been loaded).
void SelectUserLanguage(MultiStrings& strings);

}  // namespace norvane
