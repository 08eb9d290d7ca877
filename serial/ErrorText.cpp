#include "serial/ErrorText.h"

#include <cstdio>
#include <vector>

namespace norvane {

std::string FormatPortErrorText(const char* text, uint32_t code, const std::string& systemMessage,
                                const std::string& portName) {
    static constexpr const char* kFormat = "%s:\n\nMessaggio:\t[%03lu] %sPorta:\t\t%s";
    const char* shown = text != nullptr ? text : "";
    const unsigned long number = code;
    const int size =
        std::snprintf(nullptr, 0, kFormat, shown, number, systemMessage.c_str(), portName.c_str());
    if (size < 0) {
        return std::string();
    }
    std::vector<char> buffer(static_cast<size_t>(size) + 1);
    std::snprintf(buffer.data(), buffer.size(), kFormat, shown, number, systemMessage.c_str(),
                  portName.c_str());
    return std::string(buffer.data(), static_cast<size_t>(size));
}

}  // namespace norvane
