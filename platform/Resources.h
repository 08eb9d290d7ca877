// Resources embedded in the program at link time, found by type name (compared without
// regard to case) and integer id, like the resources of a Windows executable.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace norvane {

constexpr int kProgramResourceId = 130;
constexpr int kStringsResourceId = 131;

// The resource's bytes, valid for the life of the process; empty when there is none.
std::span<const uint8_t> FindResourceBytes(std::string_view typeName, int id);

// The embedded firmware image, the "PROGRAM" resource (id 130); empty when the program
// carries none.
std::span<const uint8_t> LoadImage();

}  // namespace norvane
