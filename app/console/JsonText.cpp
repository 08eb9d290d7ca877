#include "app/console/JsonText.h"

#include <cstdint>
#include <cstdio>

namespace norvane {
namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0.
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
    uint32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return (code < low || code > 0x10FFFF || surrogate) ? 0 : length;
}

void AppendEscape(std::string& out, uint8_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out += buffer;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
        } else if (c >= 0x80) {
            const size_t length = Utf8SequenceAt(text, i);
            if (length == 0) {
                AppendEscape(out, c);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

}  // namespace norvane
