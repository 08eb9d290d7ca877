#include "tools/generators/Windows1252.h"

#include <cstdint>

namespace norvane::gen {
namespace {

// Code points of the bytes 0x80..0x9F; 0 where the code page has none. 0xA0..0xFF are
// U+00A0..U+00FF and below 0x80 is ASCII.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<char> ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] != 0 && kHigh[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> Windows1252FromUtf8(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        const int length = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
        if (length == 0 || i + length > utf8.size()) {
            return std::nullopt;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = c << 6 | (next & 0x3F);
        }
        // Overlong forms are not UTF-8; none of them may slip in as a plain byte.
        constexpr char32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[length]) {
            return std::nullopt;
        }
        const auto byte = ByteOf(c);
        if (!byte) {
            return std::nullopt;
        }
        out.push_back(*byte);
        i += length;
    }
    return out;
}

bool RecodeToWindows1252(StringTableSource& table, std::string* error) {
    for (LanguageSource& language : table.languages) {
        const std::string where = "language " + language.name;
        const auto name = Windows1252FromUtf8(language.name);
        if (!name) {
            *error = where + ": the name has no Windows-1252 form";
            return false;
        }
        for (size_t id = 0; id < language.texts.size(); ++id) {
            const auto text = Windows1252FromUtf8(language.texts[id]);
            if (!text) {
                *error = where + ", id " + std::to_string(id) +
                         ": not UTF-8, or a character Windows-1252 lacks";
                return false;
            }
            language.texts[id] = *text;
        }
        language.name = *name;
    }
    return true;
}

}  // namespace norvane::gen
