#include "serial/LineFrame.h"

namespace norvane {

namespace {

bool ParityFromLetter(char letter, uint8_t* parity) {
    switch (letter) {
        case 'N':
        case 'n':
            *parity = PARITY_NONE;
            return true;
        case 'O':
        case 'o':
            *parity = PARITY_ODD;
            return true;
        case 'E':
        case 'e':
            *parity = PARITY_EVEN;
            return true;
        case 'M':
        case 'm':
            *parity = PARITY_MARK;
            return true;
        case 'S':
        case 's':
            *parity = PARITY_SPACE;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool ParseFrameText(const char* text, LineFrame* frame) {
    if (text == nullptr || text[0] == '\0' || text[1] == '\0' || text[2] == '\0' ||
        text[3] != '\0') {
        return false;
    }
    LineFrame parsed;
    if (text[0] < '5' || text[0] > '8') {
        return false;
    }
    parsed.dataBits = static_cast<uint8_t>(text[0] - '0');
    if (!ParityFromLetter(text[1], &parsed.parity)) {
        return false;
    }
    if (text[2] == '1') {
        parsed.stopBits = STOP_BITS_ONE;
    } else if (text[2] == '2') {
        parsed.stopBits = STOP_BITS_TWO;
    } else {
        return false;
    }
    *frame = parsed;
    return true;
}

bool FrameCodesValid(const LineFrame& frame) {
    return frame.dataBits >= 5 && frame.dataBits <= 8 && frame.parity <= PARITY_SPACE &&
           frame.stopBits <= STOP_BITS_TWO;
}

}  // namespace norvane
