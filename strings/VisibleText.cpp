#include "strings/VisibleText.h"

#include <cstdint>
#include <cstdio>

#include "strings/Utf8.h"

namespace norvane {
namespace {

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

}  // namespace

std::string VisibleText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<uint8_t>(bytes[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, "\\x%02x", c);
        } else if (c >= 0x80) {
            const size_t length = Utf8SequenceAt(bytes, i);
            if (length == 0) {
                AppendEscape(out, "\\x%02x", c);
            } else {
                const uint32_t code = Utf8CodePoint(bytes, i, length);
                if (code >= 0x80 && code <= 0x9F) {
                    AppendEscape(out, "\\u%04x", code);
                } else {
                    out.append(bytes.substr(i, length));
                }
                i += length;
                continue;
            }
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

std::string VisibleText(std::string_view bytes, size_t maxLength) {
    return VisibleText(bytes.substr(0, maxLength)) + (bytes.size() > maxLength ? "..." : "");
}

std::string VisibleLine(std::string_view bytes) {
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) {
        bytes.remove_suffix(1);
    }
    return VisibleText(bytes);
}

}  // namespace norvane
