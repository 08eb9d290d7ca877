// Resources on Linux: the build links each resource file into the program with the assembler's
// .incbin and generates a table of them (res/CMakeLists.txt); this finds one in that table.
#include <cstddef>

#include "platform/AsciiCase.h"
#include "platform/Resources.h"

extern "C" {
extern const unsigned norvane_resource_count;
extern const char* const norvane_resource_types[];
extern const int norvane_resource_ids[];
extern const unsigned char* const norvane_resource_begins[];
extern const unsigned char* const norvane_resource_ends[];
}

namespace norvane {

std::span<const uint8_t> FindResourceBytes(std::string_view typeName, int id) {
    for (unsigned i = 0; i < norvane_resource_count; ++i) {
        if (norvane_resource_ids[i] == id &&
            EqualIgnoringAsciiCase(typeName, norvane_resource_types[i])) {
            const unsigned char* begin = norvane_resource_begins[i];
            const unsigned char* end = norvane_resource_ends[i];
            return {begin, static_cast<size_t>(end - begin)};
        }
    }
    return {};
}

}  // namespace norvane
