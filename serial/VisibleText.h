// Text that a device supplies (the manufacturer, product and serial number an adapter reports)
// reaches the user only through here: it may hold any byte, and a control byte must never
// reach a terminal or a window as it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norvane {

// Printable ASCII as it is, a backslash doubled, every other byte as \xNN; at most
// `maxLength` bytes of the text, with "..." after a cut.
std::string VisibleText(std::string_view text, size_t maxLength);

}  // namespace norvane
