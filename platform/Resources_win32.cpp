// Resources on Win32: the program's own resources from its .rc script. The system compares
// type names without regard to case.
#include <string>

#include "platform/Resources.h"
#include "platform/Win32.h"

namespace norvane {

std::span<const uint8_t> FindResourceBytes(std::string_view typeName, int id) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const std::string type(typeName);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type.c_str());
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) {
        return {};
    }
    const void* bytes = LockResource(loaded);
    const DWORD size = SizeofResource(module, found);
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const uint8_t*>(bytes), size};
}

}  // namespace norvane
