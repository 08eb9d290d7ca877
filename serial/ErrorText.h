// The text of a port failure report, shared by the back ends; only the system's own message
// for the error code differs between them.
#pragma once

#include <cstdint>
#include <string>

namespace norvane {

// "<text>:\n\nMessaggio:\t[<code, 3 digits at least>] <systemMessage>Porta:\t\t<portName>".
// The system message is expected to end with its own line break, which puts "Porta" on a new
// line; the labels stay Italian whatever the language of the string table.
std::string FormatPortErrorText(const char* text, uint32_t code, const std::string& systemMessage,
                                const std::string& portName);

}  // namespace norvane
