#include "strings/MultiStrings.h"

#include <algorithm>
#include <cstring>

#include "platform/Resources.h"

namespace norvane {
namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kNameSize = 20;
constexpr size_t kBlockHeaderSize = kNameSize + 4;

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

}  // namespace

bool MultiStrings::Load(std::span<const uint8_t> resource) {
    strings_.clear();
    languageNames_.clear();
    selectedLanguage_ = 0;
    stringCount = 0;
    languageCount = 0;
    if (resource.size() < kHeaderSize) {
        return false;
    }
    stringCount = ReadU32(resource, 0);
    languageCount = ReadU32(resource, 4);

    // Every language block takes at least its 24-byte header, so the resource bounds how many
    // can really be there; the announced count alone never decides an allocation.
    const size_t possible = (resource.size() - kHeaderSize) / kBlockHeaderSize;
    strings_.reserve(std::min<size_t>(languageCount, possible));
    languageNames_.reserve(std::min<size_t>(languageCount, possible));

    const char* base = reinterpret_cast<const char*>(resource.data());
    size_t p = kHeaderSize;
    for (uint32_t language = 0; language < languageCount; ++language) {
        if (resource.size() - p < kBlockHeaderSize) {
            return false;  // block header runs past the resource
        }
        const char* name = base + p;
        if (std::memchr(name, '\0', kNameSize) == nullptr) {
            return false;  // name without its NUL
        }
        const size_t blockLength = ReadU32(resource, p + kNameSize);
        p += kBlockHeaderSize;
        if (resource.size() - p < blockLength) {
            return false;  // string data runs past the resource
        }
        const char* block = base + p;
        p += blockLength;

        languageNames_.push_back(name);
        std::vector<const char*>& entries = strings_.emplace_back();
        // Each string takes at least its NUL, so a block holds at most blockLength strings.
        entries.reserve(std::min<size_t>(stringCount, blockLength) + 1);
        size_t j = 0;
        for (uint32_t k = 0; k < stringCount; ++k) {
            if (j == blockLength) {
                return false;  // fewer strings than announced
            }
            const void* nul = std::memchr(block + j, '\0', blockLength - j);
            if (nul == nullptr) {
                return false;  // last string runs to the end of the block without its NUL
            }
            entries.push_back(block + j);
            j = static_cast<size_t>(static_cast<const char*>(nul) - block) + 1;
        }
    }
    return true;
}

const char* MultiStrings::Text(int id, uint32_t language) const {
    if (id < 0 || language >= strings_.size()) {
        return "";
    }
    const std::vector<const char*>& entries = strings_[language];
    if (static_cast<size_t>(id) >= entries.size() || entries[id] == nullptr) {
        return "";
    }
    return entries[id];
}

bool MultiStrings::SelectLanguage(uint32_t language) {
    if (language >= strings_.size() || strings_[language].size() != stringCount) {
        return false;
    }
    selectedLanguage_ = language;
    return true;
}

const char* MultiStrings::LanguageName(uint32_t language) const {
    return language < languageNames_.size() ? languageNames_[language] : "";
}

MultiStrings& TheStrings() {
    static MultiStrings strings;
    return strings;
}

std::span<const uint8_t> StringTableResource() {
    return FindResourceBytes("STRINGS", kStringsResourceId);
}

namespace {

constexpr int kMaxWidth = 256;

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plus = false;
    bool space = false;
    int width = 0;
    char type = 0;
    size_t length = 0;  // characters of the conversion, from the '%' on
};

// Parses the conversion that starts at format[at] == '%'. False for anything this does not
// handle (precision, length modifiers, a width beyond kMaxWidth, an unknown type).
bool ParseConversion(std::string_view format, size_t at, Conversion* c) {
    size_t i = at + 1;
    for (; i < format.size(); ++i) {
        const char f = format[i];
        if (f == '-') {
            c->leftAlign = true;
        } else if (f == '0') {
            c->zeroPad = true;
        } else if (f == '+') {
            c->plus = true;
        } else if (f == ' ') {
            c->space = true;
        } else {
            break;
        }
    }
    for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i) {
        c->width = c->width * 10 + (format[i] - '0');
        if (c->width > kMaxWidth) {
            return false;
        }
    }
    if (i == format.size()) {
        return false;
    }
    c->type = format[i];
    c->length = i + 1 - at;
    return std::strchr("diuxXs", c->type) != nullptr;
}

std::string Pad(std::string body, const Conversion& c, bool numeric) {
    const size_t width = static_cast<size_t>(c.width);
    if (body.size() >= width) {
        return body;
    }
    const size_t fill = width - body.size();
    if (c.leftAlign) {
        return body + std::string(fill, ' ');
    }
    if (c.zeroPad && numeric) {
        // zeros go behind a sign
        const size_t signLength = (!body.empty() && std::strchr("+- ", body[0]) != nullptr);
        return body.substr(0, signLength) + std::string(fill, '0') + body.substr(signLength);
    }
    return std::string(fill, ' ') + body;
}

std::string Digits(unsigned long long v, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    do {
        out.push_back(digits[v % base]);
        v /= base;
    } while (v != 0);
    std::reverse(out.begin(), out.end());
    return out;
}

std::string FormatInteger(const Conversion& c, long long value) {
    if (c.type == 'x' || c.type == 'X' || c.type == 'u') {
        // As printf shows a negative int: its 32-bit two's complement.
        unsigned long long bits = static_cast<unsigned long long>(value);
        if (value < 0 && value >= INT32_MIN) {
            bits = static_cast<uint32_t>(value);
        }
        return Pad(Digits(bits, c.type == 'u' ? 10 : 16, c.type == 'X'), c, true);
    }
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    std::string sign = value < 0 ? "-" : c.plus ? "+" : c.space ? " " : "";
    return Pad(sign + Digits(magnitude, 10, false), c, true);
}

// Copies `format`, "%%" as "%", filling the n-th conversion with values[n] when the types
// agree; every other conversion is copied as it stands.
std::string Format(std::string_view format, std::span<const FormatArg> values) {
    std::string out;
    out.reserve(format.size() + 16);
    size_t next = 0;  // the value the next conversion takes
    for (size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out.push_back(format[i++]);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out.push_back('%');
            i += 2;
            continue;
        }
        Conversion c;
        if (next < values.size() && ParseConversion(format, i, &c)) {
            // The value is used up even when its type does not fit, so that a wrong
            // conversion never shifts the later ones onto the wrong values.
            const FormatArg& value = values[next++];
            if (value.IsText() == (c.type == 's')) {
                out += value.IsText() ? Pad(std::string(value.Text()), c, false)
                                      : FormatInteger(c, value.Number());
                i += c.length;
                continue;
            }
        }
        out.push_back(format[i++]);
    }
    return out;
}

}  // namespace

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> values) {
    return Format(format, std::span<const FormatArg>(values.begin(), values.size()));
}

std::string FormatText(std::string_view format, long long value) {
    return FormatText(format, {FormatArg(value)});
}

std::string FormatText(std::string_view format, std::string_view value) {
    return FormatText(format, {FormatArg(value)});
}

}  // namespace norvane
