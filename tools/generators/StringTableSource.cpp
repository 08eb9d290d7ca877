#include "tools/generators/StringTableSource.h"

#include <charconv>
#include <set>

namespace norvane::gen {
namespace {

constexpr size_t kNameField = 20;
constexpr uint32_t kMaxCount = 100000;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseNumber(std::string_view s, uint32_t* value) {
    if (s.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
    return ec == std::errc() && end == s.data() + s.size();
}

// Splits "keyword rest" at the first blank.
void SplitWord(std::string_view line, std::string_view* word, std::string_view* rest) {
    const size_t blank = line.find_first_of(" \t");
    *word = line.substr(0, blank);
    *rest = blank == std::string_view::npos ? std::string_view() : Trim(line.substr(blank));
}

// Decodes a quoted text; false with a reason when it is malformed.
bool ParseQuoted(std::string_view s, std::string* out, std::string* why) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
        *why = "text must be enclosed in double quotes";
        return false;
    }
    s = s.substr(1, s.size() - 2);
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            *why = "unescaped quote inside text";
            return false;
        }
        if (c == '\\') {
            if (i + 1 == s.size()) {
                *why = "backslash at the end of text";
                return false;
            }
            switch (s[++i]) {
                case '"':
                    c = '"';
                    break;
                case '\\':
                    c = '\\';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                default:
                    *why = std::string("unknown escape \\") + s[i];
                    return false;
            }
        }
        out->push_back(c);
    }
    return true;
}

size_t DataLength(const LanguageSource& language) {
    size_t total = 0;
    for (const std::string& text : language.texts) {
        total += text.size() + 1;
    }
    return total;
}

}  // namespace

std::optional<StringTableSource> ParseStringTableSource(std::string_view text, std::string* error) {
    StringTableSource table;
    bool haveCount = false;
    std::vector<std::set<uint32_t>> seen;  // ids given per language
    std::vector<size_t> languageLine;
    size_t lineNo = 0;

    auto fail = [&](size_t line, const std::string& message) {
        *error = "line " + std::to_string(line) + ": " + message;
        return std::nullopt;
    };

    while (!text.empty()) {
        ++lineNo;
        const size_t eol = text.find('\n');
        const std::string_view raw = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.find('\0') != std::string_view::npos) {
            return fail(lineNo, "NUL byte in source");
        }
        std::string_view word, rest;
        SplitWord(line, &word, &rest);

        if (word == "count") {
            if (haveCount) {
                return fail(lineNo, "duplicate count directive");
            }
            if (!table.languages.empty()) {
                return fail(lineNo, "count must come before the first language");
            }
            if (!ParseNumber(rest, &table.count) || table.count == 0 || table.count > kMaxCount) {
                return fail(lineNo, "count needs a number from 1 to " + std::to_string(kMaxCount));
            }
            haveCount = true;
        } else if (word == "language") {
            if (!haveCount) {
                return fail(lineNo, "count must come before the first language");
            }
            if (rest.empty()) {
                return fail(lineNo, "language needs a name");
            }
            if (rest.size() >= kNameField) {
                return fail(lineNo, "language name '" + std::string(rest) + "' is " +
                                        std::to_string(rest.size()) +
                                        " bytes; at most 19 fit the name field");
            }
            table.languages.push_back(
                {std::string(rest), std::nullopt, std::vector<std::string>(table.count)});
            seen.emplace_back();
            languageLine.push_back(lineNo);
        } else if (word == "block-length") {
            if (table.languages.empty()) {
                return fail(lineNo, "block-length outside a language");
            }
            LanguageSource& language = table.languages.back();
            if (language.blockLength) {
                return fail(lineNo, "duplicate block-length in language " + language.name);
            }
            uint32_t length = 0;
            if (!ParseNumber(rest, &length)) {
                return fail(lineNo, "block-length needs a number");
            }
            language.blockLength = length;
        } else if (uint32_t id = 0; ParseNumber(word, &id)) {
            if (table.languages.empty()) {
                return fail(lineNo, "text outside a language");
            }
            if (id >= table.count) {
                return fail(lineNo, "id " + std::to_string(id) + " out of range 0.." +
                                        std::to_string(table.count - 1));
            }
            if (!seen.back().insert(id).second) {
                return fail(lineNo, "duplicate id " + std::to_string(id));
            }
            std::string decoded, why;
            if (!ParseQuoted(rest, &decoded, &why)) {
                return fail(lineNo, why);
            }
            table.languages.back().texts[id] = std::move(decoded);
        } else {
            return fail(lineNo, "unknown directive '" + std::string(word) + "'");
        }
    }

    if (!haveCount) {
        return fail(lineNo, "no count directive");
    }
    if (table.languages.empty()) {
        return fail(lineNo, "no language");
    }
    for (size_t i = 0; i < table.languages.size(); ++i) {
        const LanguageSource& language = table.languages[i];
        for (uint32_t id = 0; id < table.count; ++id) {
            if (!seen[i].contains(id)) {
                return fail(languageLine[i],
                            "language " + language.name + " lacks id " + std::to_string(id));
            }
        }
        const size_t needed = DataLength(language);
        if (language.blockLength && *language.blockLength < needed) {
            return fail(languageLine[i], "language " + language.name + ": texts take " +
                                             std::to_string(needed) +
                                             " bytes, more than block-length " +
                                             std::to_string(*language.blockLength));
        }
        if (needed > UINT32_MAX) {
            return fail(languageLine[i], "language " + language.name + " is too long");
        }
    }
    return table;
}

std::vector<uint8_t> BuildStringTable(const StringTableSource& source) {
    std::vector<uint8_t> out;
    auto put32 = [&out](uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    put32(source.count);
    put32(static_cast<uint32_t>(source.languages.size()));
    for (const LanguageSource& language : source.languages) {
        std::string name = language.name;
        name.resize(kNameField, '\0');
        out.insert(out.end(), name.begin(), name.end());
        const size_t dataLength = DataLength(language);
        const uint32_t blockLength =
            language.blockLength.value_or(static_cast<uint32_t>(dataLength));
        put32(blockLength);
        for (const std::string& text : language.texts) {
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
        }
        out.insert(out.end(), blockLength - dataLength, 0);
    }
    return out;
}

}  // namespace norvane::gen
