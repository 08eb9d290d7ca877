#include "serial/VisibleText.h"

namespace norvane {

std::string VisibleText(std::string_view text, size_t maxLength) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string visible;
    for (const char c : text.substr(0, maxLength)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            visible += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            visible += c;
        } else {
            visible += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        }
    }
    if (text.size() > maxLength) {
        visible += "...";
    }
    return visible;
}

}  // namespace norvane
