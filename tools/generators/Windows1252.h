// The Windows program shows table texts through the system's 8-bit ("ANSI") calls, which read
// them in the code page of Western European Windows, 1252; the table's source is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/generators/StringTableSource.h"

namespace norvane::gen {

// `utf8` in Windows-1252; nullopt when it is not valid UTF-8 or holds a character the code
// page lacks.
std::optional<std::string> Windows1252FromUtf8(std::string_view utf8);

// Every language name and text of `table` in Windows-1252; false with a message naming the
// language and the text that cannot be written in it.
bool RecodeToWindows1252(StringTableSource& table, std::string* error);

}  // namespace norvane::gen
