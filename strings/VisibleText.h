// Bytes from the device (its serial number, a reply it sent) shown to a person: on a terminal,
// in a file someone will `cat`, in a window label. A device or line noise must never move the
// cursor, clear the screen or retitle the window, so every control character is shown as an
// escape instead of being sent on: ESC as "\x1b", DEL as "\x7f", a C1 control (U+0080..U+009F)
// as "\u0080"; a byte that is not part of well-formed UTF-8 as "\xNN", and the backslash
// itself as "\\", so that what is shown reads back unambiguously. Everything else, UTF-8 text
// included, stays as it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norvane {

std::string VisibleText(std::string_view bytes);
// At most `maxLength` bytes of `bytes`, shown so, with "..." after a cut.
std::string VisibleText(std::string_view bytes, size_t maxLength);

// A device's text for a one-line field (a serial number ends with its record's line feed):
// without its trailing line breaks, the rest as VisibleText.
std::string VisibleLine(std::string_view bytes);

}  // namespace norvane
