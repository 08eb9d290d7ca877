#include "platform/Resources.h"

namespace norvane {

std::span<const uint8_t> LoadImage() {
    return FindResourceBytes("Program", kProgramResourceId);
}

}  // namespace norvane
