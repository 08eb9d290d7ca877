#include "strings/Utf8.h"

namespace norvane {

size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t low = 0;  // smallest code point of that length: shorter forms are ill-formed
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, low = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, low = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const uint32_t code = Utf8CodePoint(text, at, length);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return (code < low || code > 0x10FFFF || surrogate) ? 0 : length;
}

uint32_t Utf8CodePoint(std::string_view text, size_t at, size_t length) {
    uint32_t code = static_cast<uint8_t>(text[at]) & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        code = (code << 6) | (static_cast<uint8_t>(text[at + i]) & 0x3F);
    }
    return code;
}

}  // namespace norvane
