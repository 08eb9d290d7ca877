// What the program checks before it opens its window: the string table and the display.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

class MultiStrings;

// Exit statuses of a failed start-up; none of them is a result's status.
constexpr int kExitBadStrings = 2;
constexpr int kExitNoDisplay = 3;

// Loads the string table resource into `strings` and selects the user's language in it
// (strings/UserLanguage.h). On failure, the one-line reason.
std::optional<std::string> LoadStringTable(std::span<const uint8_t> resource,
                                           MultiStrings& strings);

// The window menu's text for a toolkit that marks the mnemonic with '_' ("&About" gives
// "_About"; "&&" gives "&", a literal '_' is doubled).
std::string UnderscoreMnemonic(std::string_view text);

}  // namespace norvane
