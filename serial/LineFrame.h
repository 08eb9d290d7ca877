// The character frame of a serial line (data bits, parity, stop bits) and its three-letter
// text form such as "8N1" or "7E2". Codes follow the Win32 DCB so both back ends share them.
#pragma once

#include <cstdint>

namespace norvane {

constexpr uint8_t PARITY_NONE = 0;
constexpr uint8_t PARITY_ODD = 1;
constexpr uint8_t PARITY_EVEN = 2;
constexpr uint8_t PARITY_MARK = 3;
constexpr uint8_t PARITY_SPACE = 4;

constexpr uint8_t STOP_BITS_ONE = 0;
constexpr uint8_t STOP_BITS_ONE5 = 1;  // one and a half; not every back end supports it
constexpr uint8_t STOP_BITS_TWO = 2;

struct LineFrame {
    uint8_t dataBits = 8;
    uint8_t parity = PARITY_NONE;
    uint8_t stopBits = STOP_BITS_ONE;
};

// Parses "<data bits><parity letter><stop bits>": data bits 5..8, parity N, O, E, M or S
// (either case), stop bits 1 or 2. False, leaving `frame` alone, for anything else.
bool ParseFrameText(const char* text, LineFrame* frame);

// True when the codes lie in their ranges (data bits 5..8, parity 0..4, stop bits 0..2).
bool FrameCodesValid(const LineFrame& frame);

}  // namespace norvane
