// The string table loader on arbitrary resources: whatever it accepts, every text and
// language name it hands out lies inside the resource with its NUL there too; a table it
// refuses keeps only languages that were whole. The texts then go through the program's
// formatting as the message boxes use them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "strings/MultiStrings.h"

namespace {

using namespace norvane;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "string table: %s\n", what);
        std::abort();
    }
}

// True when `text` starts inside [begin, end) and its NUL lies there too.
bool InsideWithNul(const char* text, const uint8_t* begin, const uint8_t* end) {
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    return p >= begin && p < end && std::memchr(p, 0, static_cast<size_t>(end - p)) != nullptr;
}

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An allocation of exactly the resource's size, so a read past it is caught.
    const std::vector<uint8_t> resource(data, data + size);
    const uint8_t* const begin = resource.data();
    const uint8_t* const end = begin + resource.size();

    MultiStrings table;
    const bool loaded = table.Load(resource);

    if (size < 8) {
        Check(!loaded, "accepted a resource without its header");
    } else {
        Check(table.stringCount == ReadU32(begin), "string count");
        Check(table.languageCount == ReadU32(begin + 4), "language count");
    }

    // A loaded table has every announced language with every string, all inside the resource;
    // any table hands out nothing else.
    // Each language takes at least 24 bytes and each string its NUL, so the resource bounds
    // how many there can be.
    const uint32_t languages =
        std::min<uint32_t>({table.languageCount, static_cast<uint32_t>(size / 24), 64});
    const uint32_t strings =
        std::min<uint32_t>({table.stringCount, static_cast<uint32_t>(size), 64});
    for (uint32_t language = 0; language <= languages; ++language) {
        const char* name = table.LanguageName(language);
        if (loaded && language < table.languageCount) {
            Check(InsideWithNul(name, begin, end), "language name outside the resource");
            Check(std::memchr(name, 0, 20) != nullptr, "language name without NUL in 20 bytes");
        } else {
            Check(*name == '\0' || InsideWithNul(name, begin, end),
                  "language name outside the resource");
        }
        for (uint32_t id = 0; id <= strings; ++id) {
            const char* text = table.Text(static_cast<int>(id), language);
            Check(text != nullptr, "null text");
            if (loaded && language < table.languageCount && id < table.stringCount) {
                Check(InsideWithNul(text, begin, end), "text outside the resource");
            } else if (id >= table.stringCount || language >= table.languageCount) {
                Check(*text == '\0', "a text beyond the table");
            } else {
                Check(*text == '\0' || InsideWithNul(text, begin, end),
                      "text outside the resource");
            }
            // The message boxes fill table texts in with a number or a name.
            if (language < 2 && id < 32) {
                (void)FormatText(text, static_cast<long long>(id) - 3);
                (void)FormatText(text, "COM3");
            }
        }
    }
    Check(*table.Text(-1) == '\0', "negative id");
    return 0;
}
