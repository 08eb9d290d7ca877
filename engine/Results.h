// Every step of the engine reports one 32-bit FlashResult: a ResultCode in the low 16 bits and
// a detail in the high 16 bits. The same value is the state variable of the search and of
// both protocols: a loop runs while it holds its own phase code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace norvane {

class MultiStrings;

using FlashResult = uint32_t;
using ResultCode = uint16_t;

constexpr ResultCode RC_DEVICE_UNKNOWN = 0x0010;
constexpr ResultCode RC_FOUND_OS = 0x0011;
constexpr ResultCode RC_FOUND_GM = 0x0012;
constexpr ResultCode RC_FOUND_TV = 0x0013;
constexpr ResultCode RC_SEARCHING = 0x0100;
constexpr ResultCode RC_SUCCESS = 0x0107;
constexpr ResultCode RC_NO_DEVICE = 0x1000;
constexpr ResultCode RC_WRONG_DEVICE = 0x1001;
constexpr ResultCode RC_INTERRUPTED = 0x1002;
constexpr ResultCode RC_DEVICE_ERROR = 0x1003;
constexpr ResultCode RC_ERASE_FAILED = 0x1004;
constexpr ResultCode RC_INVALID_IMAGE = 0x1005;
constexpr ResultCode RC_INVALID_REPLY = 0x1006;
// The device found was declined by whoever runs the job (JobContext::acceptDevice) and left
// alone. No message of its own: the station that declined it says why.
constexpr ResultCode RC_DECLINED = 0x1007;

// Details of RC_DEVICE_ERROR that the host itself produces.
constexpr uint16_t DETAIL_TIMEOUT = 0xFFFF;
constexpr uint16_t DETAIL_CRC_MISMATCH = 0xFFFE;

constexpr FlashResult MakeResult(ResultCode code, uint16_t detail = 0) {
    return (FlashResult{detail} << 16) | code;
}
constexpr ResultCode CodeOf(FlashResult result) {
    return static_cast<ResultCode>(result & 0xFFFF);
}
constexpr uint16_t DetailOf(FlashResult result) {
    return static_cast<uint16_t>(result >> 16);
}

// The string table entry that tells the user about a final result; none for internal codes.
std::optional<int> MessageIdOf(FlashResult result);

// The text of the result's message box, formatted ("%04x" with the detail for a device
// error); none when the result has no message.
std::optional<std::string> MessageOf(FlashResult result, const MultiStrings& strings);

}  // namespace norvane
