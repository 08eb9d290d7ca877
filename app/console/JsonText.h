// JSON string literals for the console's event lines. Texts come from the string table (UTF-8)
// and from the device (a serial number is whatever bytes the device sent), so a byte that is
// not part of well-formed UTF-8 is written as the code point of the same value: every line
// stays valid JSON whatever arrived on the wire.
#pragma once

#include <string>
#include <string_view>

namespace norvane {

// `text` as a quoted JSON string.
std::string JsonString(std::string_view text);

}  // namespace norvane
