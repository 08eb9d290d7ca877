// The string table's source text and the "STRINGS" resource built from it.
//
// Source format, one item per line; blank lines and lines starting with '#' are ignored:
//   count <n>              number of texts in every language (once, before any language)
//   language <name>        starts a language block (name shorter than 20 bytes)
//   block-length <bytes>   optional, within a language: length of its string data; the bytes
//                          behind the last string are zero (default: exactly the strings)
//   <id> "<text>"          text number id (0 .. n-1) of the current language; inside the
//                          quotes \" \\ \n \t stand for a quote, a backslash, a line end, a tab
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::gen {

struct LanguageSource {
    std::string name;
    std::optional<uint32_t> blockLength;
    std::vector<std::string> texts;  // in id order
};

struct StringTableSource {
    uint32_t count = 0;
    std::vector<LanguageSource> languages;
};

// Parses and checks a source; on failure returns nullopt and sets `error` to a message
// naming the line.
std::optional<StringTableSource> ParseStringTableSource(std::string_view text, std::string* error);

// The resource bytes: u32 count, u32 language count, then per language a 20-byte NUL-padded
// name, u32 block length and the NUL-terminated texts, zero-padded to the block length.
std::vector<uint8_t> BuildStringTable(const StringTableSource& source);

}  // namespace norvane::gen
