#include "serial/ErrorText.h"

#include <cstdio>

namespace norvane {

// "%s:\n\nMessaggio:\t[%03lu] %sPorta:\t\t%s", put together piece by piece so that no text of
// the caller's is ever read as a format.
std::string FormatPortErrorText(const char* text, uint32_t code, const std::string& systemMessage,
                                const std::string& portName) {
    char number[16];
    std::snprintf(number, sizeof number, "%03lu", static_cast<unsigned long>(code));
    std::string out = text != nullptr ? text : "";
    out += ":\n\nMessaggio:\t[";
    out += number;
    out += "] ";
    out += systemMessage;
    out += "Porta:\t\t";
    out += portName;
    return out;
}

}  // namespace norvane
